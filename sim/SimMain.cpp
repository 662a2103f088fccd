// brevik-sim: serves one virtual device on a pseudo-terminal until killed.
// Prints the terminal's path on the first line of standard output.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/VirtualDevice.h"

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: brevik-sim [--firmware MAJOR.MINOR.LETTER] [--link PATH] [--pace]\n"
                 "  --firmware  firmware version the device reports (default 2.11.Q)\n"
                 "  --link      also make PATH a symbolic link to the device's port\n"
                 "  --pace      take as long as a real line at the current rate\n");
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

}  // namespace

int main(int argc, char** argv) {
    sim::DeviceConfig config;
    std::string link;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--firmware") == 0 && i + 1 < argc) {
            if (!ParseFirmware(argv[++i], &config)) {
                std::fprintf(stderr, "brevik-sim: bad firmware version '%s'\n", argv[i]);
                return 2;
            }
        } else if (std::strcmp(argv[i], "--pace") == 0) {
            config.paceAtLineRate = true;
        } else if (std::strcmp(argv[i], "--link") == 0 && i + 1 < argc) {
            link = argv[++i];
        } else {
            Usage();
            return 2;
        }
    }

    // Block the stop signals before any thread starts, then wait for one.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    sim::VirtualDevice device(config);
    if (!device.Start()) {
        std::fprintf(stderr, "brevik-sim: cannot create a pseudo-terminal\n");
        return 1;
    }
    if (!link.empty()) {
        ::unlink(link.c_str());
        if (::symlink(device.PortPath().c_str(), link.c_str()) != 0) {
            std::fprintf(stderr, "brevik-sim: cannot create link %s\n", link.c_str());
            return 1;
        }
    }
    std::printf("%s\n", device.PortPath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "brevik-sim: %s device, firmware %d.%d.%c, serving until stopped\n",
                 config.letter == 'Q' ? "Quillex" : "virtual", config.major, config.minor,
                 config.letter);

    int received = 0;
    sigwait(&stopSignals, &received);
    device.Stop();
    if (!link.empty())
        ::unlink(link.c_str());
    return 0;
}
