// brevik-detect: runs the device detection over the port table and reports
// what it found; with --trace it shows the device link's trace lines as they
// are written.
#include <cstdio>
#include <string>

#include "app/HelpAndVersion.h"
#include "devicelink/BKQuillex.h"
#include "platform/PortTable.h"
#include "platform/ProgramArguments.h"

namespace {

// Prints each trace line as it is appended.
class ConsoleTextControl : public ui::TextControl {
  public:
    size_t Length() const override { return length_; }
    void AppendAtEnd(const char* text) override {
        std::string s(text);
        length_ += s.size();
        if (s == "\r\n") {
            std::fputc('\n', stdout);
        } else {
            std::fputs(("  | " + s).c_str(), stdout);
        }
        std::fflush(stdout);
    }
    void Clear() override { length_ = 0; }

  private:
    size_t length_ = 0;
};

BKQuillex g_device;

}  // namespace

int main(int argc, char** argv) {
    platform::ProgramArguments arguments(argc, argv);
    argc = arguments.Count();
    argv = arguments.Values();
    if (AnswerHelpOrVersion(
            argc, argv, "brevik-detect",
            "usage: brevik-detect [--trace]\n"
            "Looks for a Brevik device over the port table and prints what it\n"
            "found; --trace shows every trace line and hex dump of the device link.\n"))
        return 0;
    const bool verbose = argc > 1 && std::string(argv[1]) == "--trace";
    ConsoleTextControl console;
    TraceSink sink(&console);
    if (verbose)
        g_device.SetTraceTarget(&sink);

    std::vector<std::string> ports = platform::PortTable::Entries();
    std::printf("Brevik Firmware Update Utility v1.7 (console preview)\n");
    std::printf("Port table: %zu port(s)\n", ports.size());
    for (size_t i = 0; i < ports.size(); ++i) {
        std::printf("  COM%zu = %s\n", i + 1, ports[i].c_str());
    }
    char description[kTextCapacity];
    FirmwareVersion version{};
    const uint32_t flags = g_device.DetectHardware(description, kTextCapacity, &version, 0);
    if (verbose)
        std::printf("\n");
    if (!(flags & kHwCurrentCommandFamily)) {
        g_device.ClosePort();
        std::printf("No device found.\n");
        return 1;
    }
    std::printf("Device found on COM%d: %s, firmware %.2i.%.2i.%c\n", g_device.ComPortNumber,
                description, version.Major, version.Minor, version.Letter);
    g_device.ClosePort();
    if (verbose)
        std::printf("\n");
    return 0;
}
