// brevik-sim: serves one virtual device on a pseudo-terminal until killed,
// or replays a captured serial session. Prints the terminal's path on the
// first line of standard output.
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "sim/DeviceLines.h"
#include "sim/FaultOption.h"
#include "sim/ReplayDevice.h"
#include "sim/SimFamilies.h"
#include "sim/VirtualDevice.h"

namespace {

void Usage(std::FILE* to) {
    std::fprintf(
        to,
        "usage: brevik-sim [--firmware MAJOR.MINOR.LETTER] [--link PATH] [--pace]\n"
        "                  [--bridge KIND[:OPTIONS][,...]] [--sysfs DIR]\n"
        "                  [--fault REPLY[=K]:KIND[:VALUE]]...\n"
        "       brevik-sim --replay FILE [--replay-port NAME] [--mutate SEED] [--link PATH]\n"
        "\n"
        "Serves a virtual Brevik device on a pseudo-terminal and prints its path.\n"
        "  --firmware  firmware version the device reports (default 2.11.Q)\n"
        "  --link      also make PATH a symbolic link to the device's port\n"
        "  --pace      take as long as a real line at the current rate\n"
        "  --bridge    what sits between device and host (they compose, e.g.\n"
        "              latency:16,rates:115200/230400/460800):\n"
        "                pty           nothing: every byte at once (the default)\n"
        "                latency[:MS]  a USB-serial bridge whose latency timer (default\n"
        "                              16 ms) holds replies until it ticks or 62 bytes\n"
        "                              wait; host bytes arrive in 1 ms USB frames\n"
        "                cdc           a USB device of its own: 1 ms frames both ways\n"
        "                rates:A/B/..  the only link rates the bridge makes; at any\n"
        "                              other every byte is garbled\n"
        "                rfcomm[:MS]   a Bluetooth link: every reply a round trip\n"
        "                              (default 30 ms) late\n"
        "                connect:MS, absent  opening takes MS / the link is never\n"
        "                              made: modelled on the tests' in-memory lines,\n"
        "                              not here (a pseudo-terminal opens at once)\n"
        "  --sysfs     make the latency timer's attribute for the port under DIR\n"
        "              (DIR/class/tty/NAME/device/latency_timer), read at every\n"
        "              tick: a host that writes it changes the bridge at once\n"
        "%s"
        "  --replay    serve a capture written by 'brevik --capture FILE': the host\n"
        "              must send what it sent then and gets the replies it got then;\n"
        "              the first difference is reported and ends the answers. Exits\n"
        "              0 when the whole session matched, 1 otherwise\n"
        "  --replay-port  the captured port to replay (default: the first that\n"
        "              received bytes)\n"
        "  --mutate    flip bits in and cut short some replies (deterministic for a\n"
        "              seed), to try the host against a spoiled session\n"
        "  --help, --version\n",
        sim::FaultOptionHelp());
}

bool ParseFirmware(const char* text, sim::DeviceConfig* config) {
    unsigned major, minor;
    char letter;
    char extra;
    if (std::sscanf(text, "%u.%u.%c%c", &major, &minor, &letter, &extra) != 3)
        return false;
    if (major > 255 || minor > 255)
        return false;
    config->major = static_cast<uint8_t>(major);
    config->minor = static_cast<uint8_t>(minor);
    config->letter = letter;
    return true;
}

// Makes link point at the port. Only a link is ever replaced (a file or
// anything else at the name is refused), and on exit the link goes only
// while it still points at this simulator's port: another simulator may
// have taken the name since.
class PortLink {
  public:
    explicit PortLink(std::string link) : link_(std::move(link)) {}
    ~PortLink() { Remove(); }
    // Called while the port is still ours: once it is closed, the system
    // may give its name to the next simulator's port.
    void Remove() {
        if (!made_)
            return;
        made_ = false;
        char target[4096];
        const ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
        if (n >= 0 && std::string(target, static_cast<size_t>(n)) == port_)
            ::unlink(link_.c_str());
    }
    bool Make(const std::string& port) {
        if (link_.empty())
            return true;
        struct stat there {};
        if (::lstat(link_.c_str(), &there) == 0 && !S_ISLNK(there.st_mode)) {
            std::fprintf(stderr, "brevik-sim: %s exists and is not a symbolic link; not replaced\n",
                         link_.c_str());
            return false;
        }
        // A new link beside it, renamed over the old one in one step.
        const std::string fresh = link_ + ".brevik-sim-" + std::to_string(::getpid());
        const bool linked = ::symlink(port.c_str(), fresh.c_str()) == 0;
        made_ = linked && ::rename(fresh.c_str(), link_.c_str()) == 0;
        if (!made_) {
            if (linked)
                ::unlink(fresh.c_str());
            std::fprintf(stderr, "brevik-sim: cannot create link %s\n", link_.c_str());
        }
        port_ = port;
        return made_;
    }

  private:
    std::string link_;
    std::string port_;
    bool made_ = false;
};

sigset_t BlockStopSignals() {
    // Blocked before any thread starts, so that only sigwait sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    return stopSignals;
}

bool StopSignalPending(const sigset_t& signals) {
    timespec none{0, 0};
    return sigtimedwait(&signals, nullptr, &none) > 0;
}

int Replay(const std::string& file, const std::string& portName, bool mutate, uint32_t seed,
           const std::string& link) {
    capture::Session session;
    std::string error;
    std::vector<sim::Turn> turns;
    bool closed = true;
    if (!capture::ReadCaptureFile(file, &session, &error) ||
        !sim::ConversationOf(session, portName, &turns, &error, &closed)) {
        std::fprintf(stderr, "brevik-sim: %s: %s\n", file.c_str(), error.c_str());
        return 2;
    }
    if (mutate)
        sim::MutateReplies(&turns, seed);
    const sigset_t stopSignals = BlockStopSignals();
    sim::ReplayDevice device(std::move(turns), 10000, closed);
    PortLink portLink(link);
    if (!device.Start(sim::DeviceLineKind::PseudoTerminal)) {
        std::fprintf(stderr, "brevik-sim: cannot create a pseudo-terminal\n");
        return 1;
    }
    if (!portLink.Make(device.PortPath()))
        return 1;
    std::printf("%s\n", device.PortPath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "brevik-sim: replaying %s (%s)%s\n", file.c_str(), session.program.c_str(),
                 mutate ? ", mutated" : "");
    while (!device.WaitUntilDone(100)) {
        if (StopSignalPending(stopSignals)) {
            std::fprintf(stderr, "brevik-sim: replay stopped before its end\n");
            return 1;
        }
    }
    // The last replies may still be on their way to the host.
    ::usleep(200 * 1000);
    std::fprintf(stderr, "brevik-sim: replay %s: %s\n", device.Matched() ? "matched" : "differs",
                 device.Report().c_str());
    return device.Matched() ? 0 : 1;
}

// What the command line asks for.
struct SimOptions {
    sim::DeviceConfig config;
    std::string link, replay, replayPort;
    bool mutate = false;
    uint32_t seed = 0;
    std::vector<sim::FaultOption> faults;
};

// Reads the options into *o; an exit code when the program ends here
// (--help, --version, a bad option).
std::optional<int> ParseOptions(int argc, char** argv, SimOptions* o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("brevik-sim %s\n", BREVIK_VERSION);
            return 0;
        } else if (arg == "--firmware" && hasValue) {
            if (!ParseFirmware(argv[++i], &o->config)) {
                std::fprintf(stderr, "brevik-sim: bad firmware version '%s'\n", argv[i]);
                return 2;
            }
        } else if (arg == "--pace") {
            o->config.paceAtLineRate = true;
        } else if (arg == "--bridge" && hasValue) {
            std::string error;
            if (!sim::ParseBridge(argv[++i], &o->config.bridge, &error)) {
                std::fprintf(stderr, "brevik-sim: %s (see --help)\n", error.c_str());
                return 2;
            }
            if (o->config.bridge.connectMs > 0 || o->config.bridge.absent) {
                std::fprintf(stderr,
                             "brevik-sim: connect and absent are modelled on the tests' "
                             "in-memory lines; a pseudo-terminal opens at once\n");
                return 2;
            }
        } else if (arg == "--sysfs" && hasValue) {
            o->config.sysfsRoot = argv[++i];
        } else if (arg == "--link" && hasValue) {
            o->link = argv[++i];
        } else if (arg == "--fault" && hasValue) {
            sim::FaultOption option;
            std::string error;
            if (!sim::ParseFaultOption(argv[++i], &option, &error)) {
                std::fprintf(stderr, "brevik-sim: %s (see --help)\n", error.c_str());
                return 2;
            }
            o->faults.push_back(option);
        } else if (arg == "--replay" && hasValue) {
            o->replay = argv[++i];
        } else if (arg == "--replay-port" && hasValue) {
            o->replayPort = argv[++i];
        } else if (arg == "--mutate" && hasValue) {
            char* end = nullptr;
            o->seed = static_cast<uint32_t>(std::strtoul(argv[++i], &end, 10));
            o->mutate = true;
            if (*end != '\0') {
                std::fprintf(stderr, "brevik-sim: --mutate takes a number\n");
                return 2;
            }
        } else {
            std::fprintf(stderr, "brevik-sim: unknown or incomplete option '%s' (see --help)\n",
                         arg.c_str());
            return 2;
        }
    }
    return std::nullopt;
}

// The virtual device on a pseudo-terminal of its own, until a stop signal.
int Serve(const SimOptions& o) {
    const sigset_t stopSignals = BlockStopSignals();
    sim::VirtualDevice device(o.config);
    for (const sim::FaultOption& option : o.faults)
        device.InjectFault(option.command, option.fault);
    if (!device.Start(sim::DeviceLineKind::PseudoTerminal)) {
        std::fprintf(stderr, "brevik-sim: cannot create a pseudo-terminal\n");
        return 1;
    }
    PortLink portLink(o.link);
    if (!portLink.Make(device.PortPath()))
        return 1;
    std::printf("%s\n", device.PortPath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "brevik-sim: %s device, firmware %d.%d.%c, serving until stopped\n",
                 sim::SimFamilyOf(o.config.letter).name, o.config.major, o.config.minor,
                 o.config.letter);

    int received = 0;
    sigwait(&stopSignals, &received);
    portLink.Remove();
    device.Stop();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    if (const std::optional<int> ended = ParseOptions(argc, argv, &options))
        return *ended;
    if (!options.replay.empty())
        return Replay(options.replay, options.replayPort, options.mutate, options.seed,
                      options.link);
    return Serve(options);
}
