// The serial ports of the machine as the kernel's device tree shows them, and the text the port
// ring shows for each: product, USB ids and serial number, so that two adapters of one kind can
// be told apart. A tree of the kernel's shape is built for each row.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "platform/serial_os.h"
#include "support/row_name.h"
#include "support/scratch_dir.h"

namespace ovx::platform::detail {
namespace {

namespace fs = std::filesystem;

struct UsbAdapter {
    const char* product; // nullptr: the adapter has no product text
    const char* vendorId;
    const char* productId;
    const char* serial; // nullptr: no serial number
};

struct ListRow {
    const char* name;
    bool usb; // else a port on the main board
    UsbAdapter adapter;
    bool deviceBehind; // false: a tty without a device (a virtual console)
    std::vector<SerialDevice> listed;
    friend void PrintTo(const ListRow& row, std::ostream* os) { *os << row.name; }
};

void Put(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

class PortList : public ::testing::TestWithParam<ListRow> {
  protected:
    // class/tty/NAME -> devices/.../NAME, as the kernel links it; the tty's device link names
    // the interface, whose parent is the USB device with its ids.
    void MakeTty(const ListRow& row, const std::string& name) const {
        const fs::path root(dir_.Path());
        const fs::path usbDevice = root / "devices/pci0000:00/0000:00:14.0/usb1/1-2";
        const fs::path parent = row.usb ? usbDevice / "1-2:1.0" : root / "devices/pnp0/00:05";
        const fs::path tty = parent / "tty" / name;
        fs::create_directories(tty);
        if (row.deviceBehind) {
            fs::create_directory_symlink(parent, tty / "device");
        }
        if (row.usb) {
            Put(usbDevice / "uevent", "MAJOR=189\nDEVTYPE=usb_device\nDRIVER=usb\n");
            Put(parent / "uevent", "DEVTYPE=usb_interface\nDRIVER=pl2303\n");
            const UsbAdapter& a = row.adapter;
            if (a.product != nullptr) {
                Put(usbDevice / "product", std::string(a.product) + "\n");
            }
            Put(usbDevice / "idVendor", std::string(a.vendorId) + "\n");
            Put(usbDevice / "idProduct", std::string(a.productId) + "\n");
            if (a.serial != nullptr) {
                Put(usbDevice / "serial", std::string(a.serial) + "\n");
            }
        }
        fs::create_directories(root / "class/tty");
        fs::create_directory_symlink(tty, root / "class/tty" / name);
    }
    std::string ClassDir() const { return dir_.Path() + "/class/tty"; }
    ovx::testing::ScratchDir dir_;
};

TEST_P(PortList, ShowsTheAdapterAsTheKernelDescribesIt) {
    const ListRow& row = GetParam();
    MakeTty(row, row.usb ? "ttyUSB0" : "ttyS4");
    const std::vector<SerialDevice> listed = ListSerialDevices(ClassDir());
    ASSERT_EQ(listed.size(), row.listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        EXPECT_EQ(listed[i].device, row.listed[i].device);
        EXPECT_EQ(listed[i].description, row.listed[i].description);
        EXPECT_EQ(listed[i].identity, row.listed[i].identity);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PortList,
    ::testing::Values(
        ListRow{"ProductIdsAndSerialNumber",
                true,
                {"USB-Serial Controller", "067b", "2303", "A1B2"},
                true,
                {{"/dev/ttyUSB0", "USB-Serial Controller, USB 067b:2303 #A1B2", "067b:2303#A1B2"}}},
        ListRow{"NoProductText",
                true,
                {nullptr, "0403", "6001", "FT1"},
                true,
                {{"/dev/ttyUSB0", "USB 0403:6001 #FT1", "0403:6001#FT1"}}},
        ListRow{"NoSerialNumber",
                true,
                {"CP2102  USB to UART", "10c4", "ea60", nullptr},
                true,
                {{"/dev/ttyUSB0", "CP2102 USB to UART, USB 10c4:ea60", "10c4:ea60#"}}},
        ListRow{"PortOnTheMainBoard", false, {}, true, {{"/dev/ttyS4", "", ""}}},
        ListRow{"TtyWithoutADevice", false, {}, false, {}}),
    ovx::testing::RowName{});

} // namespace
} // namespace ovx::platform::detail
