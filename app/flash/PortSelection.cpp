#include "app/flash/PortSelection.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace flash {
namespace {

constexpr char kSerialPrefix[] = "usb:";
constexpr char kSocketPrefix[] = "usb-path:";
constexpr char kIdPrefix[] = "id:";

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool IsHexId(const std::string& text) {
    return text.size() == 4 && std::all_of(text.begin(), text.end(),
                                           [](unsigned char c) { return std::isxdigit(c) != 0; });
}

// What a selector asks of a port's facts; empty fields ask nothing.
struct Wanted {
    std::string serial;
    std::string socket;
    std::string usbId;  // lower-case vid:pid
};

bool ParseSelector(const std::string& selector, Wanted* wanted, std::string* malformed) {
    if (StartsWith(selector, kSerialPrefix)) {
        wanted->serial = selector.substr(sizeof kSerialPrefix - 1);
    } else if (StartsWith(selector, kSocketPrefix)) {
        wanted->socket = selector.substr(sizeof kSocketPrefix - 1);
    } else {
        // id:VID:PID[:SERIAL]; a serial number may hold ':' itself.
        const std::string rest = selector.substr(sizeof kIdPrefix - 1);
        const bool shaped = rest.size() >= 9 && rest[4] == ':' && IsHexId(rest.substr(0, 4)) &&
                            IsHexId(rest.substr(5, 4)) &&
                            (rest.size() == 9 || (rest[9] == ':' && rest.size() > 10));
        if (!shaped) {
            *malformed = selector +
                         " is not id:VID:PID[:SERIAL] with four hex digits each, as "
                         "'brevik ports' shows";
            return false;
        }
        wanted->usbId = Lower(rest.substr(0, 9));
        if (rest.size() > 10)
            wanted->serial = rest.substr(10);
        return true;
    }
    if (wanted->serial.empty() && wanted->socket.empty()) {
        *malformed = selector + " names nothing; 'brevik ports' shows what each port answers to";
        return false;
    }
    return true;
}

bool Matches(const Wanted& w, const platform::PortFacts& f) {
    return (w.serial.empty() || w.serial == f.serialNumber) &&
           (w.socket.empty() || w.socket == f.usbPath) &&
           (w.usbId.empty() || w.usbId == Lower(f.usbId));
}

// Printable ASCII without blanks or anything a shell expands: a serial
// number with other bytes is shown escaped, or would run as shell text when
// typed back, so its selector is not offered (usb-path: still names the port).
bool TypableAsShown(const std::string& selector) {
    return std::all_of(selector.begin(), selector.end(), [](unsigned char c) {
        return std::isalnum(c) != 0 || std::strchr("_.:/+@%=,-", c) != nullptr;
    });
}

}  // namespace

bool IsPortSelector(const std::string& text) {
    return StartsWith(text, kSerialPrefix) || StartsWith(text, kSocketPrefix) ||
           StartsWith(text, kIdPrefix);
}

std::vector<std::string> SelectorsOf(const platform::PortFacts& f,
                                     std::span<const platform::PortFacts> every) {
    std::vector<std::string> candidates;
    if (!f.serialNumber.empty())
        candidates.push_back(kSerialPrefix + f.serialNumber);
    if (!f.usbPath.empty())
        candidates.push_back(kSocketPrefix + f.usbPath);
    if (!f.usbId.empty())
        candidates.push_back(kIdPrefix + f.usbId +
                             (f.serialNumber.empty() ? "" : ":" + f.serialNumber));
    std::vector<std::string> names;
    for (const std::string& selector : candidates) {
        Wanted wanted;
        std::string malformed;
        if (!TypableAsShown(selector) || !ParseSelector(selector, &wanted, &malformed))
            continue;
        const auto named = std::count_if(every.begin(), every.end(),
                                         [&](const auto& other) { return Matches(wanted, other); });
        if (named == 1 && Matches(wanted, f))
            names.push_back(selector);
    }
    return names;
}

std::vector<platform::PortFacts> FactsOfEveryPort() {
    std::vector<platform::PortFacts> every;
    for (const platform::PortEntry& port : platform::PortTable::List())
        every.push_back(platform::DescribePort(port.path));
    return every;
}

std::vector<platform::PortEntry> PortsSelected(const std::string& selector,
                                               std::string* malformed) {
    std::vector<platform::PortEntry> chosen;
    Wanted wanted;
    if (!ParseSelector(selector, &wanted, malformed))
        return chosen;
    for (const platform::PortEntry& port : platform::PortTable::List()) {
        if (Matches(wanted, platform::DescribePort(port.path)))
            chosen.push_back(port);
    }
    return chosen;
}

}  // namespace flash
