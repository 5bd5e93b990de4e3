// Serial connection: open and configure the port, prove the line with the echo check, fetch the
// parameter block, read the firmware information, and take 36-byte replies by notification.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

#include "link/com232.h"
#include "link/reply.h"
#include "params/variables.h"
#include "platform/events.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "platform/trace.h"

namespace ovx::link {

int com = 1;
int eventMask = 0x8006;
int rx_flag = 0;
int graphrefresh = 0;
int rx_discarded = 0;
int ret = 0;
double tstart = 0.0;
double tdiff = 0.0;
int nBytesW = 0;
int nBytesR = 0;
char szVersion[64] = {};

namespace {

constexpr long kBaud = 19200;
constexpr int kParityNone = 0;
constexpr int kDataBits = 8;
constexpr int kStopBits = 1;
constexpr int kQueueSize = 4096;
constexpr double kLineTimeout = 2.0; // port time-out, reply wait and firmware wait
constexpr double kEchoPause = 0.05;
constexpr int kNotifyCount = kFrameBytes;
constexpr int kVersionWords = kInfoBytes / 2;

// Line times at 19200 baud, 10 bits a byte. The rest of a frame already on its way arrives within
// one frame's line time. A reply of an earlier request starts at the latest one request's line
// time and the controller's think time after that request: a line that stayed quiet that long
// carries nothing of it any more.
constexpr double kFrameLineTime = kFrameBytes * 10.0 / kBaud; // 18.75 ms
constexpr double kThinkTime = 0.010;
constexpr double kQuietTime = kFrameLineTime + kThinkTime;
constexpr double kSettleLimit = 0.1; // a line that never falls quiet holds no request longer
// A serial adapter on USB hands on what it has received at least every 16 ms: bytes of an answer
// under way may come that much later than the line carried them, and a line quiet for longer
// than that carries no more of it.
constexpr double kAdapterHold = 0.020;

// Something of an earlier exchange may still be on the line: bytes discarded by the notification
// or left behind a frame.
bool lineUnsettled = false;
int lostQueued = -1;    // queue length when ReplyLost last looked
double lostSince = 0.0; // when that length was first seen

// The reply of a direct exchange of which nothing came in time may still come late: it is owed
// until owedUntil, as long again as its exchange waited for it.
constexpr int kNothingOwed = -1;
int owedOrder = kNothingOwed;
double owedUntil = 0.0;

constexpr std::array<std::pair<int, const char*>, 8> kComErrorTexts{{
    {-1, "Unknown system error"},
    {-2, "Invalid port number"},
    {-3, "Port is not open"},
    {-4, "Unknown I/0 error"},
    {-6, "No serial port found"},
    {-7, "Cannot open port"},
    {-13, "Invalid parameter"},
    {-99, "Timeout"},
}};
constexpr const char* kOtherComError = "RS-232 error!";

void TraceDiscard(int count, const char* why) {
    if (count > 0 && platform::TraceEnabled()) {
        char text[96];
        std::snprintf(text, sizeof text, "%d bytes, %s", count, why);
        platform::TraceText("discard", text);
    }
}

// The order of the request in szWriteBuf decides which reply the notification takes.
int WantedOrder() {
    return ExpectedReplyOrder(FrameOrder(std::span<const std::uint8_t>(szWriteBuf, kFrameBytes)));
}

// Drops the first count of the have bytes at the head of szReadBuf; returns what is left.
int DropHead(int have, int count, const char* why) {
    TraceDiscard(count, why);
    std::memmove(szReadBuf, szReadBuf + count, static_cast<std::size_t>(have - count));
    return have - count;
}

// Tops the have bytes of szReadBuf up to want with what arrives on port before deadline; returns
// the count then held. Polls the queue length, which waits in the OS instead of spinning; a whole
// frame asks nothing (a second look at an unchanged queue would wait for it to grow).
int ReadUntil(int port, int have, int want, double deadline) {
    if (have >= want) {
        return have;
    }
    int queued = platform::GetInQLen(port);
    while (queued >= 0 && queued < want - have && platform::Timer() < deadline) {
        queued = platform::GetInQLen(port);
    }
    const int take = std::min(queued, want - have);
    if (take > 0) {
        have += std::max(0, platform::ComRd(port, reinterpret_cast<char*>(szReadBuf + have), take));
    }
    return have;
}

// Decodes the frame at the head of szReadBuf; whatever followed it is no reply of anyone's.
void TakeFrame() {
    GetRxBuf(PNUM);
    rx_flag = 1;
    graphrefresh = 1;
    rx_discarded = 0;
    const int extra = platform::GetInQLen(com);
    if (extra > 0) {
        TraceDiscard(extra, "after the frame");
        lineUnsettled = true;
    }
    platform::FlushInQ(com);
}

// Looks for the reply in the have bytes at the head of szReadBuf: bytes before a sync word are
// dropped, the rest of a frame on its way is read, a frame is taken only whole and of the order
// the waiting request takes. True when a frame was taken.
bool AlignAndTake(int have, double deadline) {
    const int want = WantedOrder();
    const char* before =
        want == kNoFrameReply ? ReplyCheckText(ReplyCheck::kNotWaited) : "before the sync word";
    for (;;) {
        const auto start = ReplyStart(std::span<const std::uint8_t>(szReadBuf, have));
        have = DropHead(have, static_cast<int>(start), before);
        if (have == 0) {
            return false; // the notification comes again when a frame's count is queued
        }
        have = ReadUntil(com, have, kFrameBytes, deadline);
        if (have < kFrameBytes) {
            DropHead(have, have, "frame cut short");
            return false;
        }
        const ReplyCheck check = CheckReply(std::span<const std::uint8_t>(szReadBuf, have), want);
        if (check == ReplyCheck::kWhole) {
            TakeFrame();
            return true;
        }
        // A lone 0x00 was no sync word; a frame of another order is skipped whole, so no word of
        // its payload can pass for the sync word of a reply.
        have =
            DropHead(have, check == ReplyCheck::kNoSync ? 1 : kFrameBytes, ReplyCheckText(check));
    }
}

// Realigns the have (36) bytes of szReadBuf on the reply a direct exchange of wantOrder waits for:
// bytes before a frame header are dropped, a frame of another order (the late reply of an earlier
// request) is skipped whole, and what is then missing is read before deadline. Bytes with no frame
// header in them are left as read: their word 0 is judged as the answer. Returns the count held.
int AlignDirectReply(int port, int have, int wantOrder, double deadline) {
    for (;;) {
        const auto head =
            static_cast<int>(HeaderStart(std::span<const std::uint8_t>(szReadBuf, have)));
        const bool wanted =
            head == 0 && FrameOrder(std::span<const std::uint8_t>(szReadBuf, have)) == wantOrder;
        if (head == have || wanted) {
            return have;
        }
        have = head > 0 ? DropHead(have, head, "before the sync word")
                        : DropHead(have, kFrameBytes, ReplyCheckText(ReplyCheck::kWrongOrder));
        have = ReadUntil(port, have, kFrameBytes, deadline);
        if (have < kFrameBytes) {
            return have;
        }
    }
}

// Waits without events until the late reply has come and the line has been quiet for a reply's
// line time since, or until `until` has passed with nothing come; drops what came.
void DrainLateReply(int port, double until) {
    bool came = false;
    double cameAt = 0.0;
    double quietSince = 0.0;
    for (;;) {
        const int queued = platform::GetInQLen(port);
        const double now = platform::Timer();
        if (queued < 0) {
            return; // no open port: nothing can arrive
        }
        if (queued > 0) {
            TraceDiscard(queued, "late reply of a request that timed out");
            platform::FlushInQ(port);
            cameAt = came ? cameAt : now;
            came = true;
            quietSince = now;
        } else if (came ? now - quietSince > kQuietTime : now > until) {
            return;
        }
        if (came && now - cameAt > kSettleLimit) {
            return; // a line that never falls quiet holds no request longer
        }
    }
}

// Waits until the line has been quiet for a reply's line time, dropping what arrives; never
// longer than kSettleLimit.
void SettleLine() {
    const double start = platform::Timer();
    double quietSince = start;
    for (;;) {
        const int queued = platform::GetInQLen(com);
        const double now = platform::Timer();
        if (queued < 0) {
            break; // no open port: nothing can arrive
        }
        if (queued > 0) {
            TraceDiscard(queued, "late bytes before a request");
            platform::FlushInQ(com);
            quietSince = now;
        } else if (now - quietSince > kQuietTime) {
            break;
        }
        if (now - start > kSettleLimit) {
            break;
        }
    }
    lineUnsettled = false;
}

bool BareReply(int orderCode) {
    return orderCode == kOrderFirmwareInfo || orderCode == kOrderDataBlock;
}

void InstallRxNotificationOn(int port, bool on) {
    if (on) {
        platform::InstallComCallback(port, eventMask, kNotifyCount, sync, RX_Receive_Function,
                                     nullptr);
    } else {
        platform::InstallComCallback(port, 0, kNotifyCount, sync, nullptr, nullptr);
    }
}

// Polls the input queue without processing events until 64 bytes are queued or the time-out
// passes; returns the count seen by the last poll.
int WaitForFirmwareBytes() {
    int n = 0;
    tstart = platform::Timer();
    do {
        n = platform::GetInQLen(com);
        tdiff = platform::Timer() - tstart;
        if (tdiff > kLineTimeout) {
            SetStatus("Timeout - reading firmware info!");
            break;
        }
    } while (n < kInfoBytes && !platform::ComWaitsInterrupted());
    return n;
}

// Reads what the queue held, never more than szReadBuf takes; the rest is flushed later.
void ReadFirmwareBytes(int n) {
    if (n > 0) {
        ReadReply(n);
    } else {
        nBytesR = 0;
    }
}

void FormatFirmwareText() {
    std::array<int, kVersionWords> words{};
    for (int i = 0; i < kVersionWords; ++i) {
        words[i] = WordAt(szReadBuf, static_cast<std::size_t>(i));
    }
    platform::Fmt(szVersion, "%64c<%32i", words.data());
    SetStatus(szVersion);
}

} // namespace

const char* ComErrorText(int code) {
    for (const auto& [value, text] : kComErrorTexts) {
        if (value == code) {
            return text;
        }
    }
    return kOtherComError;
}

void InitLinkVars() {
    com = 1;
    sync = kSyncWord;
    order = kOrderWriteRam;
    rx_flag = 1;
}

bool SendRequest(int orderCode, const std::uint16_t* words, int port) {
    order = orderCode;
    FillTxBuf(order, words);
    nBytesW = platform::ComWrt(port, reinterpret_cast<const char*>(szWriteBuf), kFrameBytes);
    return nBytesW == kFrameBytes;
}

int ReadReply(int count, int port) {
    const int n = std::clamp(count, 0, kBufSize);
    nBytesR = platform::ComRd(port, reinterpret_cast<char*>(szReadBuf), n);
    return nBytesR;
}

void FlushQueues(int port) {
    platform::FlushInQ(port);
    platform::FlushOutQ(port);
}

void InstallRxNotification(bool on) {
    InstallRxNotificationOn(com, on);
}

int OpenRS232(int port) {
    const int opened = platform::OpenComConfig(port, "", kBaud, kParityNone, kDataBits, kStopBits,
                                               kQueueSize, kQueueSize);
    if (opened < 0) {
        SetStatus(ComErrorText(opened));
        ShowStatus();
        return 0;
    }
    platform::SetComTime(port, kLineTimeout);
    FlushQueues(port);
    owedOrder = kNothingOwed; // a port just opened owes nothing of an earlier exchange
    lineUnsettled = false;
    platform::SetCTSMode(port, 0);
    InstallRxNotificationOn(port, true);
    return 1;
}

// The reply is read directly, with the notification installed: no events run in between.
int CheckComLine(int port) {
    CopyVarsToPP();
    AwaitOwedReply(kOrderEcho, port);
    FlushQueues(port);
    SendRequest(kOrderEcho, pp, port);
    platform::Delay(kEchoPause);
    ReadFrameReply(kOrderEcho, port);
    int result = 0;
    if (nBytesR != kFrameBytes) {
        SetStatus("Timeout < 36 Bytes");
    } else if (FrameWord(szReadBuf, 0) == kAck) {
        SetStatus("Echo Check - Line Ok!");
        result = 1;
    } else {
        SetStatus("read error - not sync byte 0xAA!");
    }
    ShowStatus();
    return result;
}

void PushGET(int t) {
    if (t != params::DATFILE) {
        CopyVarsToPP();
        AwaitQuietLine();
        FlushQueues();
        rx_flag = 0;
        if (SendRequest(t == params::EEPROM ? kOrderReadEeprom : kOrderReadRam, pp)) {
            ShowStatus("Waiting for parameter-frame ...");
        }
        WaitRxFull();
        if (rx_flag == 1) {
            GetRxBuf(PNUM);
            CopyPPtoVars();
            ShowStatus("Parameter-frame received! - Line Ok!");
            params::ValuesChanged();
        }
    }
    ShowStatus();
}

// The notification is off for the whole read: 64 bare bytes are not a frame.
int GetVERSIONInfo() {
    InstallRxNotification(false);
    AwaitOwedReply(kOrderFirmwareInfo);
    FlushQueues();
    SendRequest(kOrderFirmwareInfo, pp);
    ShowStatus("Waiting for firmware info ...");
    int n = WaitForFirmwareBytes();
    if (n == kInfoBytes) {
        n = AwaitAnswerTail(n);
    }
    szVersion[0] = '\0';
    ReadFirmwareBytes(n);
    if (nBytesR == kInfoBytes) {
        FormatFirmwareText();
    }
    EndDirectExchange(kOrderFirmwareInfo, nBytesR, n >= kInfoBytes, kLineTimeout);
    InstallRxNotification(true);
    FlushQueues();
    rx_flag = 0;
    ShowStatus();
    return n;
}

// Events run at least once, even when rx_flag is already set on entry.
int WaitRxFull() {
    ret = 1;
    tstart = platform::Timer();
    for (;;) {
        // A flag already set: events run once without waiting for more.
        platform::WaitForEvents(rx_flag != 0 ? tstart : tstart + kLineTimeout);
        tdiff = platform::Timer() - tstart;
        if (tdiff > kLineTimeout) {
            SetStatus("Timeout-RS-232...");
            ret = 0;
            break;
        }
        if (rx_flag != 0) {
            break;
        }
        if (platform::ComWaitsInterrupted()) { // Ctrl-C in a program without panels
            ret = 0;
            break;
        }
    }
    return ret;
}

// Reads from com, whatever port the notification names. A short read is no frame: the stale
// rest of szReadBuf is never decoded into pp, and no flag is set. A reply is taken only whole,
// aligned on its sync word and of the order the request in szWriteBuf waits for; anything else
// is discarded (the trace says why) and the waiting command goes on waiting.
void RX_Receive_Function(int /*port*/, int eventWord, void* /*callbackData*/) {
    if ((eventWord & platform::kEvNotifyCount) == 0) {
        return;
    }
    const double deadline = platform::Timer() + kFrameLineTime + kAdapterHold;
    const int got = platform::ComRd(com, reinterpret_cast<char*>(szReadBuf), kFrameBytes);
    if (got != kFrameBytes) {
        TraceDiscard(got, "frame cut short");
        platform::FlushInQ(com);
        lineUnsettled = true;
        return;
    }
    if (AlignAndTake(got, deadline)) {
        return;
    }
    lineUnsettled = true;
    rx_discarded = 1;
    lostQueued = -1;
    if (WantedOrder() == kNoFrameReply) {
        platform::FlushInQ(com); // nobody waits: nothing queued can become a reply
    }
}

// Waits without events until the line has been quiet for the line time of a reply of an earlier
// request, dropping what arrives meanwhile; only when such a reply may still come: the last
// request awaits a frame that was not taken, or bytes were discarded or left behind a frame.
void AwaitQuietLine() {
    const bool outstanding = rx_flag == 0 && WantedOrder() != kNoFrameReply;
    rx_discarded = 0;
    if (lineUnsettled || outstanding) {
        SettleLine();
    }
}

// An owed frame of another order than the next frame exchange needs no wait: that exchange skips
// it whole. Every other owed reply could pass for the next one's and is waited out.
void AwaitOwedReply(int nextOrder, int port) {
    if (owedOrder != kNothingOwed) {
        const bool skipped =
            !BareReply(owedOrder) && !BareReply(nextOrder) && owedOrder != nextOrder;
        if (!skipped) {
            DrainLateReply(port, owedUntil);
            owedOrder = kNothingOwed;
        }
    }
    if (lineUnsettled) {
        SettleLine();
    }
}

void EndDirectExchange(int orderCode, int received, bool whole, double window) {
    owedOrder = kNothingOwed; // a reply taken in step: an earlier one came before it or never will
    if (whole) {
        return;
    }
    if (received <= 0) {
        owedOrder = orderCode;
        owedUntil = platform::Timer() + window;
    } else {
        lineUnsettled = true;
    }
}

int ReadFrameReply(int wantOrder, int port) {
    const double deadline = platform::Timer() + kLineTimeout;
    int have = ReadReply(kFrameBytes, port);
    if (have == kFrameBytes) {
        have = AlignDirectReply(port, have, wantOrder, deadline);
        nBytesR = have;
    }
    EndDirectExchange(wantOrder, have, have == kFrameBytes, kLineTimeout);
    return have;
}

// The waiting reply was discarded and the line has been quiet since for a reply's line time:
// nothing of it is coming any more.
bool ReplyLost() {
    if (rx_discarded == 0 || rx_flag != 0) {
        return false;
    }
    const int queued = platform::GetInQLen(com);
    const double now = platform::Timer();
    if (queued != lostQueued) {
        lostQueued = queued;
        lostSince = now;
    }
    if (now - lostSince <= kQuietTime) {
        return false;
    }
    lineUnsettled = false; // quiet for as long as AwaitQuietLine would wait
    return true;
}

int AwaitAnswerTail(int count, int port) {
    const double start = platform::Timer();
    double quietSince = start;
    for (;;) {
        const int queued = platform::GetInQLen(port);
        const double now = platform::Timer();
        if (queued < 0) {
            return count; // the port is gone: nothing more can arrive
        }
        if (queued != count) {
            count = queued;
            quietSince = now;
        } else if (now - quietSince > kAdapterHold || now - start > kSettleLimit) {
            return count;
        }
    }
}

} // namespace ovx::link
