// Serial connection: open and configure the port, prove the line with the echo check, fetch the
// parameter block, read the firmware information, and take 36-byte replies by notification.
#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "link/com232.h"
#include "params/gui.h"
#include "params/panels.h"
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
char szStatus[kStatusSize] = {};
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

void SetStatus(const char* text) {
    std::snprintf(szStatus, sizeof szStatus, "%s", text);
}

void InstallRxNotificationOn(int port, bool on) {
    if (on) {
        platform::InstallComCallback(port, eventMask, kNotifyCount, sync, RX_Receive_Function,
                                     nullptr);
    } else {
        platform::InstallComCallback(port, 0, kNotifyCount, sync, nullptr, nullptr);
    }
}

void FlushBoth(int port) {
    platform::FlushInQ(port);
    platform::FlushOutQ(port);
}

int WriteRequest(int port) {
    return platform::ComWrt(port, reinterpret_cast<const char*>(szWriteBuf), kFrameBytes);
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
    const int count = std::clamp(n, 0, kBufSize);
    nBytesR = count > 0 ? platform::ComRd(com, reinterpret_cast<char*>(szReadBuf), count) : 0;
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

void ShowStatus(const char* text) {
    platform::SetCtrlVal(params::panelHandle, params::PANEL_STATUS, text);
}

void ShowStatus() {
    ShowStatus(szStatus);
}

void InstallRxNotification(bool on) {
    InstallRxNotificationOn(com, on);
}

void InitRS232(int port) {
    const int opened = platform::OpenComConfig(port, "", kBaud, kParityNone, kDataBits, kStopBits,
                                               kQueueSize, kQueueSize);
    if (opened < 0) {
        SetStatus(ComErrorText(opened));
        ShowStatus();
        return;
    }
    platform::SetComTime(port, kLineTimeout);
    FlushBoth(port);
    platform::SetCTSMode(port, 0);
    InstallRxNotificationOn(port, true);
    if (CheckComLine(port) == 1) {
        params::target = params::RAM;
        PushGET(params::RAM);
        if (GetVERSIONInfo() < kInfoBytes) {
            SetStatus("Error reading firmware-info!");
        }
    }
    ShowStatus();
}

// The reply is read directly, with the notification installed: no events run in between.
int CheckComLine(int port) {
    CopyVarsToPP();
    FillTxBuf(kOrderEcho, pp);
    FlushBoth(port);
    nBytesW = WriteRequest(port);
    platform::Delay(kEchoPause);
    nBytesR = platform::ComRd(port, reinterpret_cast<char*>(szReadBuf), kFrameBytes);
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
        order = t == params::EEPROM ? kOrderReadEeprom : kOrderReadRam;
        CopyVarsToPP();
        FlushBoth(com);
        FillTxBuf(order, pp);
        rx_flag = 0;
        nBytesW = WriteRequest(com);
        if (nBytesW == kFrameBytes) {
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
    FlushBoth(com);
    order = kOrderFirmwareInfo;
    FillTxBuf(kOrderFirmwareInfo, pp);
    nBytesW = WriteRequest(com);
    ShowStatus("Waiting for firmware info ...");
    const int n = WaitForFirmwareBytes();
    szVersion[0] = '\0';
    ReadFirmwareBytes(n);
    if (nBytesR == kInfoBytes) {
        FormatFirmwareText();
    }
    InstallRxNotification(true);
    FlushBoth(com);
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
    const int got = platform::ComRd(com, reinterpret_cast<char*>(szReadBuf), kFrameBytes);
    if (got == kFrameBytes) {
        GetRxBuf(PNUM);
        rx_flag = 1;
        graphrefresh = 1;
    }
    platform::FlushInQ(com);
}

} // namespace ovx::link
