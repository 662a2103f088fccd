// `brevik ports` over a device tree of 64 USB-serial ports, enumerated and
// described through libudev as on a real system: at most 20 ms, each run
// from a fresh scan of the system, as a new process does. Printed beside it:
// a selector (usb:SERIAL) chosen among the 64.
//
// umockdev makes the tree. The goal is measured with that tree mounted on
// /sys (and device nodes on /dev) in a private mount namespace, where libudev
// reads it at the speed it reads a real sysfs. Under umockdev's preload every
// file call libudev makes is trapped and its path rewritten with signals
// masked; enumerating the 64 ttys alone costs more than the goal there. The
// figure under umockdev is printed too, for what the tests see.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <umockdev.h>
#include <unistd.h>

#include <cerrno>
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
constexpr int kUsbSerialMajor = 188;
constexpr double kGoalMs = 20;

std::string SerialNumber(int i) {
    return "BK" + std::to_string(100000 + i);
}

std::string Bridge(int i) {
    const std::string socket = "1-" + std::to_string(1 + i / 8) + "." + std::to_string(1 + i % 8);
    const std::string usb = "/devices/pci0000:00/usb1/" + socket;
    const std::string interface = usb + "/" + socket + ":1.0";
    const std::string tty = "ttyUSB" + std::to_string(i);
    const std::string serial = SerialNumber(i);
    return "P: " + usb +
           "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=0403\nA: idProduct=6001\n"
           "A: product=Bridge\nA: manufacturer=Brevik\nA: serial=" +
           serial + "\n\nP: " + interface +
           "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: DRIVER=ftdi_sio\n\nP: " + interface +
           "/" + tty + "\nE: SUBSYSTEM=usb-serial\nE: DRIVER=ftdi_sio\n\nP: " + interface + "/" +
           tty + "/tty/" + tty + "\nN: " + tty + "\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/" + tty +
           "\nE: DEVLINKS=/dev/serial/by-id/usb-Brevik_Bridge_" + serial +
           "-if00-port0\nE: MAJOR=" + std::to_string(kUsbSerialMajor) +
           "\nE: MINOR=" + std::to_string(i) + "\nA: dev=" + std::to_string(kUsbSerialMajor) + ":" +
           std::to_string(i) + "\n";
}

CliArguments Command(std::vector<const char*> words) {
    words.insert(words.begin(), "brevik");
    CliArguments args;
    ParseCliArguments(static_cast<int>(words.size()), words.data(), &args);
    return args;
}

// One run from a fresh scan; false when it failed. What it printed goes to
// printed when asked for.
bool RunOnce(const CliArguments& args, std::string* printed = nullptr) {
    platform::PortTable::Rescan();
    std::FILE* sink = std::tmpfile();
    BKQuillex q;
    const bool ok = RunCliCommand(args, q, sink, sink, nullptr) == kCliSucceeded;
    std::rewind(sink);
    for (int c; printed != nullptr && (c = std::fgetc(sink)) != EOF;)
        *printed += static_cast<char>(c);
    std::fclose(sink);
    return ok;
}

// The command's milliseconds, best of several; -1 when it failed or did not
// name each of the serial numbers (a figure for a tree it could not read
// means nothing).
double CommandMs(const std::vector<const char*>& words, const std::vector<int>& named) {
    const CliArguments args = Command(words);
    std::string printed;
    bool failed = !RunOnce(args, &printed);
    for (int i : named)
        failed = failed || printed.find(SerialNumber(i)) == std::string::npos;
    const double ms = bench::BestOf(30, [&] { failed = !RunOnce(args) || failed; });
    return failed ? -1 : ms;
}

bool Report(const char* where, bool goal) {
    std::vector<int> every(kPorts);
    for (int i = 0; i < kPorts; ++i)
        every[i] = i;
    const double ports = CommandMs({"ports", "--json"}, every);
    const bool ok = ports >= 0 && ports <= kGoalMs;
    if (goal)
        std::printf("ports, %d USB-serial ports, %s   %7.2f ms   goal %5.1f ms   %s\n", kPorts,
                    where, ports, kGoalMs, ok ? "ok" : "SLOW");
    else
        std::printf("ports, %d USB-serial ports, %s   %7.2f ms\n", kPorts, where, ports);
    // Choosing a port by serial number describes each port once more.
    std::printf(
        "    with --port usb:%s chosen among them first: %.2f ms\n",
        SerialNumber(kPorts - 1).c_str(),
        CommandMs({"--port", ("usb:" + SerialNumber(kPorts - 1)).c_str(), "ports"}, {kPorts - 1}));
    return ok;
}

bool Mount(const char* source, const char* target, const char* type, unsigned long flags,
           const char* options) {
    if (::mount(source, target, type, flags, options) == 0)
        return true;
    std::fprintf(stderr, "mounting on %s: %s\n", target, std::strerror(errno));
    return false;
}

// In a mount namespace of its own: the tree on /sys, its nodes on an empty
// /dev, and no device database of the machine's (/run/udev) to mix in.
int MeasureOnMountedTree(const std::string& root) {
    if (::unshare(CLONE_NEWNS) != 0) {
        std::fprintf(stderr,
                     "not measured: mounting the tree needs a mount namespace of its own, which "
                     "needs root (%s)\n",
                     std::strerror(errno));
        return 2;
    }
    if (!Mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
        !Mount((root + "/sys").c_str(), "/sys", nullptr, MS_BIND | MS_REC, nullptr) ||
        !Mount("none", "/dev", "tmpfs", 0, "mode=0755") ||
        (::access("/run/udev", F_OK) == 0 && !Mount("none", "/run/udev", "tmpfs", 0, "mode=0755")))
        return 2;
    for (int i = 0; i < kPorts; ++i) {
        const std::string node = "/dev/ttyUSB" + std::to_string(i);
        if (::mknod(node.c_str(), S_IFCHR | 0660, makedev(kUsbSerialMajor, i)) != 0) {
            std::fprintf(stderr, "making %s: %s\n", node.c_str(), std::strerror(errno));
            return 2;
        }
    }
    ::mknod("/dev/null", S_IFCHR | 0666, makedev(1, 3));
    return Report("tree mounted", true) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    ::unsetenv("BREVIK_PORTS");
    if (argc == 3 && std::strcmp(argv[1], "--mounted") == 0)
        return MeasureOnMountedTree(argv[2]);
    const char* preload = std::getenv("LD_PRELOAD");
    if (std::strstr(preload ? preload : "", "umockdev") == nullptr) {
        std::fprintf(stderr, "run under umockdev-wrapper\n");
        return 2;
    }
    UMockdevTestbed* bed = umockdev_testbed_new();
    for (int i = 0; i < kPorts; ++i) {
        if (!umockdev_testbed_add_from_string(bed, Bridge(i).c_str(), nullptr)) {
            std::fprintf(stderr, "the fake tree could not be made\n");
            return 2;
        }
    }
    char* root = umockdev_testbed_get_root_dir(bed);
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
        // A new program without the preload reads the tree where it is mounted.
        ::unsetenv("LD_PRELOAD");
        ::unsetenv("UMOCKDEV_DIR");
        // libudev takes only what is on sysfs itself unless told not to
        // check; the check is one fstatfs per device on a real system.
        ::setenv("SYSTEMD_DEVICE_VERIFY_SYSFS", "0", 1);
        ::execl("/proc/self/exe", argv[0], "--mounted", root, static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        status = 2 << 8;
    Report("under umockdev", false);
    g_free(root);
    g_object_unref(bed);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}
