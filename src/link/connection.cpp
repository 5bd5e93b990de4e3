// Serial connection: open and configure the port, prove the line with the echo check, fetch the
// parameter block, read the firmware information, and take 36-byte replies by notification.
#include <algorithm>
#include <array>
#include <utility>

#include "link/com232.h"
#include "params/gui.h"
#include "params/variables.h"
#include "platform/panel.h"
#include "platform/serial.h"
#include "platform/timing.h"

namespace ovx::link {

int com = 1;
int eventMask = 0x8006;
int rx_flag = 0;
int graphrefresh = 0;
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
    } while (n < kInfoBytes);
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
    platform::SetCTSMode(port, 0);
    InstallRxNotificationOn(port, true);
    return 1;
}

int InitRS232(int port) {
    if (OpenRS232(port) == 0) {
        return 0;
    }
    int result = 0;
    if (CheckComLine(port) == 1) {
        params::target = params::RAM;
        PushGET(params::RAM);
        result = rx_flag;
        if (GetVERSIONInfo() < kInfoBytes) {
            SetStatus("Error reading firmware-info!");
            result = 0;
        }
    }
    ShowStatus();
    return result;
}

// The reply is read directly, with the notification installed: no events run in between.
int CheckComLine(int port) {
    CopyVarsToPP();
    FlushQueues(port);
    SendRequest(kOrderEcho, pp, port);
    platform::Delay(kEchoPause);
    ReadReply(kFrameBytes, port);
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
            params::SetPanelValues();
        }
    }
    ShowStatus();
}

// The notification is off for the whole read: 64 bare bytes are not a frame.
int GetVERSIONInfo() {
    InstallRxNotification(false);
    FlushQueues();
    SendRequest(kOrderFirmwareInfo, pp);
    ShowStatus("Waiting for firmware info ...");
    const int n = WaitForFirmwareBytes();
    szVersion[0] = '\0';
    ReadFirmwareBytes(n);
    if (nBytesR == kInfoBytes) {
        FormatFirmwareText();
    }
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
        platform::ProcessSystemEvents();
        tdiff = platform::Timer() - tstart;
        if (tdiff > kLineTimeout) {
            SetStatus("Timeout-RS-232...");
            ret = 0;
            break;
        }
        if (rx_flag != 0) {
            break;
        }
    }
    return ret;
}

// Reads from com, whatever port the notification names. A short read is no frame: the stale
// rest of szReadBuf is never decoded into pp, and no flag is set.
void RX_Receive_Function(int /*port*/, int eventWord, void* /*callbackData*/) {
    if ((eventWord & platform::kEvNotifyCount) == 0) {
        return;
    }
    if (ReadReply(kFrameBytes) == kFrameBytes) {
        GetRxBuf(PNUM);
        rx_flag = 1;
        graphrefresh = 1;
    }
    platform::FlushInQ(com);
}

} // namespace ovx::link
