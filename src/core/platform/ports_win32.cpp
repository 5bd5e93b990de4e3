// The COM ports of a Windows machine: the ones the registry's SERIALCOMM map names, each
// described by the setup API's friendly name and, for a USB adapter, its ids and serial number.
#include <windows.h>

#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "platform/net_address.h"
#include "platform/port_watch.h"
#include "platform/serial_os.h"
#include "platform/text_win32.h"

namespace ovx::platform::detail {
namespace {

// The port names ("COM3") of the SERIALCOMM map.
std::vector<std::wstring> MappedPorts() {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return names;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t value[256];
        DWORD valueLength = 256;
        wchar_t data[64];
        DWORD dataBytes = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG r = RegEnumValueW(key, i, value, &valueLength, nullptr, &type,
                                     reinterpret_cast<BYTE*>(data), &dataBytes);
        if (r == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (r == ERROR_SUCCESS && type == REG_SZ) {
            data[dataBytes / sizeof(wchar_t)] = L'\0';
            names.emplace_back(data);
        }
    }
    RegCloseKey(key);
    return names;
}

std::wstring DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property) {
    wchar_t text[512];
    DWORD type = 0;
    if (SetupDiGetDeviceRegistryPropertyW(set, &info, property, &type,
                                          reinterpret_cast<BYTE*>(text),
                                          sizeof text - sizeof(wchar_t), nullptr) == 0 ||
        (type != REG_SZ && type != REG_MULTI_SZ)) {
        return {};
    }
    text[511] = L'\0';
    return text;
}

std::wstring PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& info) {
    const HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
        return {};
    }
    wchar_t name[64];
    DWORD bytes = sizeof name - sizeof(wchar_t);
    DWORD type = 0;
    const bool ok = RegQueryValueExW(key, L"PortName", nullptr, &type,
                                     reinterpret_cast<BYTE*>(name), &bytes) == ERROR_SUCCESS &&
                    type == REG_SZ;
    RegCloseKey(key);
    name[ok ? bytes / sizeof(wchar_t) : 0] = L'\0';
    return name;
}

// "USB\VID_067B&PID_2303\A1B2" -> "067b:2303#A1B2"; "" for a device that is not on USB.
std::string UsbIdentity(const std::wstring& instanceId) {
    std::wstring id = instanceId;
    std::transform(id.begin(), id.end(), id.begin(), [](wchar_t c) { return std::towupper(c); });
    const auto vid = id.find(L"VID_");
    const auto pid = id.find(L"PID_");
    if (id.rfind(L"USB\\", 0) != 0 || vid == std::wstring::npos || pid == std::wstring::npos ||
        vid + 8 > id.size() || pid + 8 > id.size()) {
        return {};
    }
    std::wstring ids = id.substr(vid + 4, 4) + L":" + id.substr(pid + 4, 4);
    std::transform(ids.begin(), ids.end(), ids.begin(), [](wchar_t c) { return std::towlower(c); });
    const auto last = instanceId.rfind(L'\\');
    const std::wstring serial = last + 1 < instanceId.size() ? instanceId.substr(last + 1) : L"";
    const bool realSerial = serial.find(L'&') == std::wstring::npos; // "5&2a9..." is made up
    return TextFromWide(ids) + "#" + (realSerial ? TextFromWide(serial) : "");
}

// Port name -> (friendly name, identity) of the ports the setup API knows.
std::map<std::wstring, SerialDevice> DescribedPorts() {
    std::map<std::wstring, SerialDevice> found;
    const HDEVINFO set =
        SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        return found;
    }
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info) != 0; ++i) {
        const std::wstring port = PortNameOf(set, info);
        if (port.empty()) {
            continue;
        }
        wchar_t instance[512];
        const bool haveId = SetupDiGetDeviceInstanceIdW(set, &info, instance, 511, nullptr) != 0;
        SerialDevice d;
        d.description = TextFromWide(DeviceProperty(set, info, SPDRP_FRIENDLYNAME));
        d.identity = haveId ? UsbIdentity(instance) : "";
        if (!d.identity.empty()) {
            const std::string ids = d.identity.substr(0, 9);
            const std::string serial = d.identity.substr(10);
            d.description += (d.description.empty() ? "USB " : ", USB ") + ids;
            d.description += serial.empty() ? "" : " #" + serial;
        }
        found[port] = d;
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

} // namespace

// The folder argument is the Linux device tree's; Windows asks its registry instead.
std::vector<SerialDevice> ListSerialDevices(const std::string& /*sysClassTty*/) {
    const std::map<std::wstring, SerialDevice> described = DescribedPorts();
    std::vector<SerialDevice> found;
    for (const std::wstring& name : MappedPorts()) {
        const auto it = described.find(name);
        SerialDevice d = it != described.end() ? it->second : SerialDevice{};
        d.device = TextFromWide(name);
        found.push_back(std::move(d));
    }
    return found;
}

// "COM3", "com3" and \\.\COM3 are port 3.
int SystemPortNumber(const std::string& device) {
    std::string name = device.rfind("\\\\.\\", 0) == 0 ? device.substr(4) : device;
    if (name.size() < 4 || name.size() > 6 || _strnicmp(name.c_str(), "COM", 3) != 0 ||
        name.find_first_not_of("0123456789", 3) != std::string::npos || name[3] == '0') {
        return 0;
    }
    return std::stoi(name.substr(3));
}

std::string SystemPortDevice(int port) {
    return port > 0 ? std::string("COM").append(std::to_string(port)) : std::string();
}

// A COM port is there while the system has a device name for it. A connection has no name:
// only its hang-up tells that it is gone.
bool DeviceNodeExists(const std::string& device) {
    if (IsNetAddress(device)) {
        return true;
    }
    std::wstring name = WideFromText(device);
    if (name.rfind(L"\\\\.\\", 0) == 0) {
        name = name.substr(4);
    }
    wchar_t target[1024];
    return !name.empty() && QueryDosDeviceW(name.c_str(), target, 1024) != 0;
}

} // namespace ovx::platform::detail
