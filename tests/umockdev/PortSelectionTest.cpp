// Ports as the system's device database shows them, faked by umockdev: three
// USB bridges, two of one make told apart by serial number, one without a
// serial number told apart by its USB socket. A simulator serves each
// bridge's terminal; the tool enumerates, describes and chooses ports through
// libudev unchanged. Runs under umockdev-wrapper.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <umockdev.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "package/PackageBuilder.h"
#include "platform/Environment.h"
#include "platform/PortAccess.h"
#include "platform/PortTable.h"
#include "platform/PseudoTerminal.h"
#include "sim/VirtualDevice.h"
#include "tests/support/CliRun.h"
#include "tests/support/TempDir.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

struct Bridge {
    const char* socket;  // USB device name: bus-port.port
    const char* ids[2];  // idVendor, idProduct
    const char* serial;  // "" for none
    const char* tty;
    uint8_t minor;  // the firmware's, to tell who answered
};

constexpr Bridge kBridges[] = {
    {"1-1.2", {"0403", "6001"}, "A1", "ttyUSB0", 11},
    {"1-1.3", {"0403", "6001"}, "B2", "ttyUSB1", 12},
    {"1-1.4", {"1a86", "7523"}, "", "ttyUSB2", 10},
};

// The bridge as udev records one: USB device, interface, USB-serial port,
// tty (with its node and stable links).
std::string Described(const Bridge& b, int index) {
    const std::string usb = std::string("/devices/pci0000:00/usb1/") + b.socket;
    const std::string interface = usb + "/" + b.socket + ":1.0";
    const std::string id = std::string("usb-Brevik_Bridge_") + (*b.serial ? b.serial : "none");
    std::string text =
        "P: " + usb + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=" + b.ids[0] +
        "\nA: idProduct=" + b.ids[1] + "\nA: product=Bridge\nA: manufacturer=Brevik\n";
    if (*b.serial)
        text += std::string("A: serial=") + b.serial + "\n";
    text += "\nP: " + interface +
            "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: DRIVER=ftdi_sio\n\n";
    text += "P: " + interface + "/" + b.tty + "\nE: SUBSYSTEM=usb-serial\nE: DRIVER=ftdi_sio\n\n";
    text += "P: " + interface + "/" + b.tty + "/tty/" + b.tty + "\nN: " + b.tty +
            "\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/" + b.tty + "\nE: DEVLINKS=/dev/serial/by-id/" +
            id + "-if00-port0 /dev/serial/by-path/pci-0000:00:14.0-usb-0:" +
            std::string(b.socket).substr(2) +
            ":1.0-port0\nE: MAJOR=188\nE: MINOR=" + std::to_string(index) +
            "\nA: dev=188:" + std::to_string(index) + "\n";
    return text;
}

class PortSelection : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* preload = std::getenv("LD_PRELOAD");
        ASSERT_NE(nullptr, std::strstr(preload ? preload : "", "umockdev"))
            << "run under umockdev-wrapper";
        // The system's table, which here is the fake one.
        ::unsetenv("BREVIK_PORTS");
        bed_ = umockdev_testbed_new();
        int index = 0;
        for (const Bridge& b : kBridges)
            ASSERT_NO_FATAL_FAILURE(Plug(b, index++));
        // A Bluetooth serial port, bound: a tty of no bus.
        ASSERT_TRUE(umockdev_testbed_add_from_string(
            bed_,
            "P: /devices/virtual/tty/rfcomm0\nN: rfcomm0\nE: SUBSYSTEM=tty\n"
            "E: DEVNAME=/dev/rfcomm0\nE: MAJOR=216\nE: MINOR=0\nA: dev=216:0\n",
            nullptr));
    }
    // A bridge plugged in: its devices in the database (umockdev sends
    // udev's "add" event for each, as a real plug does), then a simulator
    // on its terminal.
    void Plug(const Bridge& b, int index) {
        GError* error = nullptr;
        ASSERT_TRUE(umockdev_testbed_add_from_string(bed_, Described(b, index).c_str(), &error))
            << (error ? error->message : "");
        const std::string node = std::string("/dev/") + b.tty;
        sim::DeviceConfig config;
        config.minor = b.minor;
        devices_.push_back(std::make_unique<sim::VirtualDevice>(config));
        ASSERT_TRUE(devices_.back()->StartOn(platform::PseudoTerminal::Adopt(
            umockdev_testbed_get_dev_fd(bed_, node.c_str()), node)));
    }
    void TearDown() override {
        devices_.clear();
        if (bed_)
            g_object_unref(bed_);
        platform::SetEnvironmentValue("BREVIK_PORTS", "");
    }

    UMockdevTestbed* bed_ = nullptr;
    std::vector<std::unique_ptr<sim::VirtualDevice>> devices_;
};

TEST_F(PortSelection, EachSelectorNamesItsPortAndSeveralOrNoneAreSaid) {
    struct Case {
        const char* port;
        int code;
        std::string said;  // on stdout for success, else on stderr
    } cases[] = {
        {"usb:B2", kCliSucceeded, "firmware 02.12.Q, on COM2"},
        {"usb-path:1-1.4", kCliSucceeded, "firmware 02.10.Q, on COM3"},
        {"id:1A86:7523", kCliSucceeded, "firmware 02.10.Q, on COM3"},
        {"id:0403:6001:A1", kCliSucceeded, "firmware 02.11.Q, on COM1"},
        {"/dev/ttyUSB1", kCliSucceeded, "firmware 02.12.Q, on COM2"},
        {"id:0403:6001", kCliUsageError,
         "id:0403:6001 answers on several ports: COM1 (/dev/ttyUSB0), COM2 (/dev/ttyUSB1)"},
        {"usb:Z9", kCliNoDevice, "no port answers to usb:Z9 here"},
        {"id:0403", kCliUsageError, "id:0403 is not id:VID:PID[:SERIAL]"},
        {"usb:", kCliUsageError, "usb: names nothing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        const Outcome run = Brevik({"--port", c.port, "detect"});
        EXPECT_EQ(c.code, run.code) << run.err;
        EXPECT_THAT(c.code == kCliSucceeded ? run.out : run.err, HasSubstr(c.said));
    }

    // What ports shows can be typed back; JSON carries the same.
    const Outcome ports = Brevik({"ports"});
    EXPECT_THAT(ports.out, HasSubstr("COM1  /dev/ttyUSB0  USB 0403:6001 Brevik Bridge serial A1 "
                                     "(ftdi_sio)\n      usb:A1  usb-path:1-1.2  id:0403:6001:A1  "
                                     "/dev/serial/by-id/usb-Brevik_Bridge_A1-if00-port0"));
    const nlohmann::json listed = nlohmann::json::parse(Brevik({"--json", "ports"}).out);
    ASSERT_EQ(4u, listed["ports"].size());
    EXPECT_EQ("Bluetooth", listed["ports"][3]["kind"]);
    EXPECT_EQ("/dev/rfcomm0", listed["ports"][3]["path"]);
    EXPECT_EQ("", platform::DescribePort("/dev/ttyUSB9").kind) << "no such device";
    EXPECT_EQ((std::vector<std::string>{"usb-path:1-1.4", "id:1a86:7523"}),
              listed["ports"][2]["selectors"]);
    EXPECT_EQ("1-1.4", listed["ports"][2]["usb_path"]);

    const nlohmann::json found =
        nlohmann::json::parse(Brevik({"--json", "--port", "usb:A1", "detect"}).out)["device"];
    EXPECT_EQ("COM1", found["port"]);
    EXPECT_EQ("/dev/ttyUSB0", found["path"]);
    EXPECT_EQ("/dev/serial/by-id/usb-Brevik_Bridge_A1-if00-port0", found["stable_name"]);
    EXPECT_EQ("0403:6001", found["usb_id"]);
    EXPECT_EQ("A1", found["serial_number"]);

    // Another board given the first one's device number, as the kernel hands
    // a freed number out again: once the table is scanned again (as a watch
    // does when a port comes or goes), the new board is described, not what
    // the last scan saw under that number.
    umockdev_testbed_remove_device(bed_, "/sys/devices/pci0000:00/usb1/1-1.2");
    // (umockdev leaves the number's link behind; the kernel would not)
    gchar* root = umockdev_testbed_get_root_dir(bed_);
    std::filesystem::remove(std::string(root) + "/sys/dev/char/188:0");
    g_free(root);
    ASSERT_NO_FATAL_FAILURE(Plug({"1-1.5", {"0403", "6001"}, "D4", "ttyUSB5", 11}, 0));
    platform::PortTable::Rescan();
    EXPECT_EQ("D4", platform::DescribePort("/dev/ttyUSB5").serialNumber);
    EXPECT_THAT(Brevik({"ports"}).out,
                HasSubstr("/dev/ttyUSB5  USB 0403:6001 Brevik Bridge serial D4"));
}

// Serial numbers are not unique and are device text: a selector is shown
// only when it names that one port and can be typed back as shown.
TEST_F(PortSelection, PortsOffersOnlySelectorsThatNameOnePortAndCanBeTypedBack) {
    const Bridge more[] = {
        {"1-1.6", {"0403", "6001"}, "SAME", "ttyUSB3", 13},
        {"1-1.7", {"0403", "6015"}, "SAME", "ttyUSB4", 14},
        {"1-1.8", {"0403", "6001"}, "$(touch${IFS}pwned)", "ttyUSB6", 15},
    };
    int index = 3;
    for (const Bridge& b : more)
        ASSERT_NO_FATAL_FAILURE(Plug(b, index++));
    platform::PortTable::Rescan();
    const nlohmann::json listed = nlohmann::json::parse(Brevik({"--json", "ports"}).out)["ports"];
    const std::vector<std::vector<std::string>> expected = {
        {"usb:A1", "usb-path:1-1.2", "id:0403:6001:A1"},
        {"usb:B2", "usb-path:1-1.3", "id:0403:6001:B2"},
        {"usb-path:1-1.4", "id:1a86:7523"},
        {"usb-path:1-1.6", "id:0403:6001:SAME"},
        {"usb-path:1-1.7", "id:0403:6015:SAME"},
        {"usb-path:1-1.8"},
    };
    ASSERT_EQ(expected.size() + 1, listed.size()) << listed.dump(1);
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(expected[i], listed[i].value("selectors", std::vector<std::string>{})) << i;
    EXPECT_EQ("$(touch${IFS}pwned)", listed[5].value("serial_number", "")) << "said as it is";
    const std::string text = Brevik({"ports"}).out;
    EXPECT_THAT(text, HasSubstr("/dev/ttyUSB3  USB 0403:6001 Brevik Bridge serial SAME "
                                "(ftdi_sio)\n      usb-path:1-1.6  id:0403:6001:SAME  "));
    EXPECT_THAT(text, Not(HasSubstr("usb:SAME")));
    EXPECT_THAT(text, Not(HasSubstr("usb:$")));
    // Each one shown selects its port.
    EXPECT_THAT(Brevik({"--port", "id:0403:6015:SAME", "detect"}).out, HasSubstr("on COM5"));
}

// The scan keeps serial hardware whatever its name or bus (a CDC-ACM board
// behind a hub, a platform UART, one whose name ends in no number) and
// leaves out the virtual consoles and the 8250 entries with no UART behind.
TEST_F(PortSelection, TheScanListsSerialHardwareOnly) {
    const char* planted[] = {
        "P: /devices/pci0000:00/usb1/1-1.6\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n"
        "A: idVendor=05e3\nA: idProduct=0610\n\n"
        "P: /devices/pci0000:00/usb1/1-1.6/1-1.6.2\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n"
        "A: idVendor=2e8a\nA: idProduct=000a\nA: serial=E5\n\n"
        "P: /devices/pci0000:00/usb1/1-1.6/1-1.6.2/1-1.6.2:1.0\nE: SUBSYSTEM=usb\n"
        "E: DEVTYPE=usb_interface\nE: DRIVER=cdc_acm\n\n"
        "P: /devices/pci0000:00/usb1/1-1.6/1-1.6.2/1-1.6.2:1.0/tty/ttyACM0\nN: ttyACM0\n"
        "E: SUBSYSTEM=tty\nE: DEVNAME=/dev/ttyACM0\nE: MAJOR=166\nE: MINOR=0\nA: dev=166:0\n",
        "P: /devices/platform/serial8250\nE: SUBSYSTEM=platform\nE: DRIVER=serial8250\n\n"
        "P: /devices/platform/serial8250/tty/ttyS40\nN: ttyS40\nE: SUBSYSTEM=tty\n"
        "E: DEVNAME=/dev/ttyS40\nE: MAJOR=4\nE: MINOR=104\nA: dev=4:104\nA: type=4\n\n"
        "P: /devices/platform/serial8250/tty/ttyS41\nN: ttyS41\nE: SUBSYSTEM=tty\n"
        "E: DEVNAME=/dev/ttyS41\nE: MAJOR=4\nE: MINOR=105\nA: dev=4:105\nA: type=0\n",
        "P: /devices/platform/uart-x\nE: SUBSYSTEM=platform\nE: DRIVER=uart-x\n\n"
        "P: /devices/platform/uart-x/tty/ttyMFD\nN: ttyMFD\nE: SUBSYSTEM=tty\n"
        "E: DEVNAME=/dev/ttyMFD\nE: MAJOR=204\nE: MINOR=7\nA: dev=204:7\n",
        "P: /devices/virtual/tty/tty7\nN: tty7\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/tty7\n"
        "E: MAJOR=4\nE: MINOR=7\nA: dev=4:7\n",
    };
    for (const char* devices : planted)
        ASSERT_TRUE(umockdev_testbed_add_from_string(bed_, devices, nullptr)) << devices;
    platform::PortTable::Rescan();
    const nlohmann::json listed = nlohmann::json::parse(Brevik({"--json", "ports"}).out)["ports"];
    struct Expected {
        const char* path;
        const char* kind;
        const char* driver;
        const char* usbPath;  // "" for none
    } expected[] = {
        {"/dev/ttyUSB0", "USB", "ftdi_sio", "1-1.2"}, {"/dev/ttyUSB1", "USB", "ftdi_sio", "1-1.3"},
        {"/dev/ttyUSB2", "USB", "ftdi_sio", "1-1.4"}, {"/dev/ttyACM0", "USB", "cdc_acm", "1-1.6.2"},
        {"/dev/rfcomm0", "Bluetooth", "", ""},        {"/dev/ttyMFD", "serial", "uart-x", ""},
        {"/dev/ttyS40", "serial", "serial8250", ""},
    };
    ASSERT_EQ(std::size(expected), listed.size()) << listed.dump(1);
    for (size_t i = 0; i < listed.size(); ++i) {
        SCOPED_TRACE(expected[i].path);
        EXPECT_EQ(expected[i].path, listed[i].value("path", ""));
        EXPECT_EQ(expected[i].kind, listed[i].value("kind", ""));
        EXPECT_EQ(expected[i].driver, listed[i].value("driver", ""));
        EXPECT_EQ(expected[i].usbPath, listed[i].value("usb_path", ""));
    }
    EXPECT_EQ("2e8a:000a", listed[3].value("usb_id", ""));
    EXPECT_EQ("E5", listed[3].value("serial_number", ""));
}

// --wait hears udev: a bridge plugged in while the command waits, named by
// its serial number before it exists, is found through its "add" event.
TEST_F(PortSelection, WaitHearsABridgePluggedIn) {
    const Bridge later = {"1-1.5", {"0403", "6015"}, "C3", "ttyUSB3", 13};
    std::thread plug([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Plug(later, 3);
    });
    const Outcome run = Brevik({"--port", "usb:C3", "detect", "--wait=20"});
    plug.join();
    EXPECT_EQ(kCliSucceeded, run.code) << run.err;
    EXPECT_THAT(run.out, HasSubstr("firmware 02.13.Q, on COM4"));
}

// The station: each board flashed as it comes, side by side; one that is
// replugged is not flashed again; a port without a device is said; every
// result is a JSON line in the log; Ctrl+C ends the watch after the uploads.
TEST_F(PortSelection, StationFlashesEachBoardOnceAsItComes) {
    TempDir dir;
    const std::string package = dir.Write("q.bfw", FirmwarePackage(2999, 2, 12, 'Q'));
    const std::string log = dir.File("station.log");
    Outcome run;
    std::thread station([&] {
        run = Brevik(
            {"update", "--watch", "--allow-reinstall", "--log", log.c_str(), package.c_str()});
    });
    // The log's lines once there are n (the station is left to run while
    // fewer have come).
    auto logLines = [&log](size_t n) {
        std::vector<nlohmann::json> lines;
        for (int i = 0; i < 600 && lines.size() < n; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            lines.clear();
            std::ifstream in(log);
            for (std::string line; std::getline(in, line);)
                lines.push_back(nlohmann::json::parse(line));
        }
        return lines;
    };
    auto resultOf = [](const std::vector<nlohmann::json>& lines, const std::string& path) {
        std::string results;
        for (const nlohmann::json& line : lines)
            if (line["path"] == path)
                results += (results.empty() ? "" : " ") + line["result"].get<std::string>();
        return results;
    };
    const std::vector<nlohmann::json> first = logLines(4);
    ASSERT_EQ(4u, first.size()) << "three bridges and the Bluetooth port";
    EXPECT_EQ("updated", resultOf(first, "/dev/ttyUSB0"));
    EXPECT_EQ("updated", resultOf(first, "/dev/ttyUSB2"));
    EXPECT_EQ("no_device", resultOf(first, "/dev/rfcomm0"));
    for (const nlohmann::json& line : first) {
        if (line["path"] == "/dev/ttyUSB1") {
            EXPECT_EQ("B2", line["serial_number"]);
            EXPECT_EQ("/dev/serial/by-id/usb-Brevik_Bridge_B2-if00-port0", line["stable_name"]);
            EXPECT_EQ("02.12.Q", line["from"]);
            EXPECT_EQ("02.12.Q", line["now"]);
            EXPECT_GT(line["seconds"].get<double>(), 0.0);
            EXPECT_EQ(24u, line["time"].get<std::string>().size()) << line["time"];
        }
    }
    // A new board, then the first one pulled out and plugged in elsewhere.
    Plug({"1-1.5", {"0403", "6015"}, "C3", "ttyUSB3", 9}, 3);
    EXPECT_EQ("updated", resultOf(logLines(5), "/dev/ttyUSB3"));
    umockdev_testbed_remove_device(bed_, "/sys/devices/pci0000:00/usb1/1-1.2");
    Plug({"1-1.6", {"0403", "6001"}, "A1", "ttyUSB4", 12}, 4);
    const std::vector<nlohmann::json> all = logLines(6);
    EXPECT_EQ("skipped", resultOf(all, "/dev/ttyUSB4"));
    EXPECT_THAT(all.back()["message"].get<std::string>(), HasSubstr("already flashed in this run"));
    // Serial numbers are not unique: another board with A1's serial, on
    // another version, is flashed, and the serial's two versions are said.
    Plug({"1-1.7", {"0403", "6001"}, "A1", "ttyUSB5", 10}, 5);
    const std::vector<nlohmann::json> more = logLines(7);
    EXPECT_EQ("updated", resultOf(more, "/dev/ttyUSB5"));
    EXPECT_THAT(more.back().value("warning", ""),
                HasSubstr("usb:A1 was flashed in this run and now shows 02.10.Q"));
    std::raise(SIGINT);
    station.join();
    EXPECT_EQ(130, run.code) << run.err;
    EXPECT_THAT(run.out, HasSubstr("Stopped watching: 5 updated, 0 failed, 2 skipped."));
    // Each board by its USB serial number or socket, COM name and path beside;
    // a line as it starts, its result labelled, and the running tally.
    for (const char* line :
         {"usb:A1 (COM1 /dev/ttyUSB0): flashing 02.11.Q -> 02.12.Q\n",
          "usb:A1 (COM1 /dev/ttyUSB0): UPDATED 02.11.Q -> 02.12.Q in ",
          "usb-path:1-1.4 (COM3 /dev/ttyUSB2): UPDATED 02.10.Q -> 02.12.Q in ",
          "usb:A1 (COM4 /dev/ttyUSB4): SKIPPED: already flashed in this run (--reflash flashes it "
          "again)  [updated 4, failed 0, skipped 2]\n"})
        EXPECT_THAT(run.out, HasSubstr(line));
}

}  // namespace
