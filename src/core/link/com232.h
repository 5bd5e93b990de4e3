// com232: the controller link. Frame codec over the program-wide buffers, the serial
// connection (open, echo check, parameter fetch, firmware information, reply wait) and the
// receive notification.
#pragma once

#include <cstdint>

#include "link/frame.h"
#include "link/status.h"

namespace ovx::link {

// ---- Frame codec -------------------------------------------------------------------------
extern int PNUM;  // 16 payload words per frame
extern int sync;  // 0x55, also the event character of the receive notification
extern int order; // order of the request being built, and of the last reply decoded
extern std::uint16_t pp[kPayloadWords];
constexpr int kBufSize = 1024;
extern unsigned char szWriteBuf[kBufSize];
extern unsigned char szReadBuf[kBufSize];

void CopyVarsToPP();
void CopyPPtoVars();
void FillTxBuf(int orderCode, const std::uint16_t* words);
void GetRxBuf(int count);
// The start state of the link's variables (order 1, sync 0x55, port 1, rx_flag 1).
void InitLinkVars();

// ---- Serial connection -------------------------------------------------------------------
extern int com;       // selected port number, 1 at start-up
extern int eventMask; // 0x8006
extern int rx_flag;   // 1 once the receive notification decoded a frame
extern int graphrefresh;
extern int rx_discarded;     // 1 once the notification discarded bytes and took no frame since
extern int ret;              // result of the last WaitRxFull
extern double tstart, tdiff; // shared by every waiting loop
extern int nBytesW, nBytesR;
extern char szVersion[64];

// ---- The verbs on the line ---------------------------------------------------------------
// Sends a request: sets order, builds the frame from the 16 words into szWriteBuf and writes
// its kFrameBytes to port; nBytesW keeps the count written. true when the whole frame went out.
bool SendRequest(int orderCode, const std::uint16_t* words, int port = com);
// Reads count bytes (at most kBufSize) into szReadBuf, waiting up to the port's time-out;
// nBytesR keeps the count read, which is also returned.
int ReadReply(int count, int port = com);
// Empties the input and the output queue of port.
void FlushQueues(int port = com);

// Status texts for a negative OpenComConfig result.
const char* ComErrorText(int code);

// Opens and configures port, proves the line and fetches the parameters and the firmware
// information, as at start-up. 1 when all of it succeeded, else 0 (szStatus says why).
// OpenController (operations.h) with its result told as 1 or 0.
int InitRS232(int port);
int CheckComLine(int port);
void PushGET(int t);
int GetVERSIONInfo();
int WaitRxFull();
void RX_Receive_Function(int port, int eventWord, void* callbackData);
// Before a request whose answer is awaited: when a reply of an earlier request may still be on
// its way (none taken, or bytes discarded), waits without events until the line has been quiet
// for a reply's line time and drops what came. Clears rx_discarded.
void AwaitQuietLine();
// True when the notification discarded the awaited reply and the line has been quiet since for
// a reply's line time: the waiting request will not be answered.
bool ReplyLost();
// Before a request whose answer is read directly (orders 5, 7, 9, 20, 21): when nothing of an
// earlier direct reply came in time, that reply may still come and pass for this one's; waits
// without events until it has come and the line is quiet again, or for as long again as its
// exchange waited. A line left unsettled (part of a reply came) is awaited quiet as well.
void AwaitOwedReply(int nextOrder, int port = com);
// After a direct exchange of orderCode: received bytes of its reply came, whole when it was taken.
// Nothing came: the reply is owed for window seconds more. Part of it: the line is unsettled.
void EndDirectExchange(int orderCode, int received, bool whole, double window);
// Reads the 36-byte answer of a direct exchange of wantOrder into szReadBuf within the port's
// time-out: bytes before a frame header are dropped, a frame of another order is skipped whole.
// Bytes with no frame header are left as read. Returns (and keeps in nBytesR) the count held.
int ReadFrameReply(int wantOrder, int port = com);
// The bare answers (orders 7 and 9) carry no header and are judged by their length alone. When
// exactly the count of one stands in the queue, stray bytes may have come ahead of it and its
// last bytes still be under way: waits without events until the line has been quiet for longer
// than a USB serial adapter holds received bytes, at most 0.1 s. Returns the queue's count then.
int AwaitAnswerTail(int count, int port = com);
// Installs (true) or removes (false) the receive notification on com.
void InstallRxNotification(bool on);
// Opens port with the line's settings and installs the notification; 1, or 0 with the reason
// shown. InitRS232 begins with it.
int OpenRS232(int port);

} // namespace ovx::link
