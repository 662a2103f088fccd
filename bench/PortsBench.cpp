// `brevik ports` over a device tree of 64 USB-serial ports, the tree faked by
// umockdev (the program runs under umockdev-wrapper), enumerated and described
// through libudev as on a real system: at most 20 ms. Each run starts from a
// fresh scan of the system, as a new process does. Printed beside it: a
// selector (usb:SERIAL) chosen among the 64.
#include <umockdev.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/cli/RunCommand.h"
#include "bench/BestOf.h"
#include "platform/PortTable.h"

namespace {

constexpr int kPorts = 64;
constexpr double kGoalMs = 20;

std::string Bridge(int i) {
    const std::string socket = "1-" + std::to_string(1 + i / 8) + "." + std::to_string(1 + i % 8);
    const std::string usb = "/devices/pci0000:00/usb1/" + socket;
    const std::string interface = usb + "/" + socket + ":1.0";
    const std::string tty = "ttyUSB" + std::to_string(i);
    const std::string serial = "BK" + std::to_string(100000 + i);
    return "P: " + usb +
           "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=0403\nA: idProduct=6001\n"
           "A: product=Bridge\nA: manufacturer=Brevik\nA: serial=" +
           serial + "\n\nP: " + interface +
           "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: DRIVER=ftdi_sio\n\nP: " + interface +
           "/" + tty + "\nE: SUBSYSTEM=usb-serial\nE: DRIVER=ftdi_sio\n\nP: " + interface + "/" +
           tty + "/tty/" + tty + "\nN: " + tty + "\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/" + tty +
           "\nE: DEVLINKS=/dev/serial/by-id/usb-Brevik_Bridge_" + serial +
           "-if00-port0\nE: MAJOR=188\nE: MINOR=" + std::to_string(i) +
           "\nA: dev=188:" + std::to_string(i) + "\n";
}

// The command's milliseconds, best of several; -1 when it failed.
double CommandMs(std::vector<const char*> words) {
    words.insert(words.begin(), "brevik");
    CliArguments args;
    ParseCliArguments(static_cast<int>(words.size()), words.data(), &args);
    bool failed = false;
    const double ms = bench::BestOf(10, [&] {
        platform::PortTable::Rescan();
        std::FILE* sink = std::tmpfile();
        BKQuillex q;
        failed = failed || RunCliCommand(args, q, sink, sink, nullptr) != kCliSucceeded;
        std::fclose(sink);
    });
    return failed ? -1 : ms;
}

}  // namespace

int main() {
    const char* preload = std::getenv("LD_PRELOAD");
    if (std::strstr(preload ? preload : "", "umockdev") == nullptr) {
        std::fprintf(stderr, "run under umockdev-wrapper\n");
        return 2;
    }
    ::unsetenv("BREVIK_PORTS");
    UMockdevTestbed* bed = umockdev_testbed_new();
    for (int i = 0; i < kPorts; ++i) {
        if (!umockdev_testbed_add_from_string(bed, Bridge(i).c_str(), nullptr)) {
            std::fprintf(stderr, "the fake tree could not be made\n");
            return 2;
        }
    }
    const double ports = CommandMs({"ports", "--json"});
    const bool ok = ports >= 0 && ports <= kGoalMs;
    std::printf("ports, %d USB-serial ports     %7.2f ms   goal %5.1f ms   %s\n", kPorts, ports,
                kGoalMs, ok ? "ok" : "SLOW");
    // Choosing a port by serial number describes each port once more.
    std::printf("    with --port usb:BK100063 chosen among them first: %.2f ms\n",
                CommandMs({"--port", "usb:BK100063", "ports"}));
    g_object_unref(bed);
    return ok ? 0 : 1;
}
