// com232: the controller link. Frame codec over the program-wide buffers, the serial
// connection (open, echo check, parameter fetch, firmware information, reply wait) and the
// receive notification.
#pragma once

#include <cstdint>

#include "link/frame.h"

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

// ---- Serial connection -------------------------------------------------------------------
extern int com;       // selected port number, 1 at start-up
extern int eventMask; // 0x8006
extern int rx_flag;   // 1 once the receive notification decoded a frame
extern int graphrefresh;
extern int rx_discarded;     // 1 once the notification discarded bytes and took no frame since
extern int ret;              // result of the last WaitRxFull
extern double tstart, tdiff; // shared by every waiting loop
extern int nBytesW, nBytesR;
constexpr int kStatusSize = 260;
extern char szStatus[kStatusSize];
extern char szVersion[64];

// Status texts for a negative OpenComConfig result.
const char* ComErrorText(int code);

void InitRS232(int port);
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
// Installs (true) or removes (false) the receive notification on com.
void InstallRxNotification(bool on);
// Shows a text in PANEL_STATUS, or szStatus.
void ShowStatus(const char* text);
void ShowStatus();

} // namespace ovx::link
