// Console stand-in for the updater dialog: opens each port of the port
// table, asks for the firmware version at 115200 baud and reports what
// answers, showing the device link's trace lines as they are written.
#include <cstdio>
#include <string>

#include "devicelink/BKQuillex.h"
#include "platform/PortTable.h"

namespace {

// Prints each trace line as it is appended.
class ConsoleTextControl : public platform::TextControl {
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

// "VV" and three bytes back: major, minor, letter.
bool AskVersion(BKQuillex& device, uint8_t reply[3]) {
    if (device.LockPort(kPortLockWaitMs) != QX_S_OK)
        return false;
    device.SetReadTimeout(kLinkRateReadTimeoutMs);
    const uint8_t request[2] = {'V', 'V'};
    bool ok = device.WritePort(request, 2) == 2 && device.ReadPort(reply, 3) == 3;
    device.SetReadTimeout(kDefaultReadTimeoutMs);
    device.UnlockPort();
    return ok && !(reply[0] == 'V' && reply[1] == 'V');
}

}  // namespace

int main() {
    ConsoleTextControl console;
    TraceSink sink(&console);
    g_device.SetTraceTarget(&sink);

    std::vector<std::string> ports = platform::PortTable::Entries();
    std::printf("Brevik Firmware Update Utility v1.7 (console preview)\n");
    std::printf("Port table: %zu port(s)\n", ports.size());
    for (size_t i = 0; i < ports.size(); ++i) {
        std::printf("  COM%zu = %s\n", i + 1, ports[i].c_str());
    }
    for (size_t i = 0; i < ports.size() && i < 255; ++i) {
        std::string name = "COM" + std::to_string(i + 1);
        std::printf("\n");
        if (g_device.InitPort(name.c_str(), 115200) != QX_S_OK)
            continue;
        uint8_t v[3];
        if (AskVersion(g_device, v)) {
            std::printf("\nDevice found on %s: firmware %02d.%02d.%c\n", name.c_str(), v[0], v[1],
                        v[2]);
            g_device.ClosePort();
            std::printf("\n");
            return 0;
        }
    }
    g_device.ClosePort();
    std::printf("\nNo device found.\n");
    return 1;
}
