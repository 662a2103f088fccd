#include "platform/UsbInstanceId.h"

#include <cctype>
#include <vector>

namespace platform {
namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back().push_back(c);
    }
    return parts;
}

bool IsHex4(const std::string& text) {
    if (text.size() != 4)
        return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// "VID_0403", "PID_6001" among the fields: the ids, or "".
std::string IdsOf(const std::vector<std::string>& fields) {
    std::string vid, pid;
    for (const std::string& f : fields) {
        const std::string upper = f.size() > 4 ? f.substr(0, 4) : f;
        if ((upper == "VID_" || upper == "vid_") && IsHex4(f.substr(4)))
            vid = Lower(f.substr(4));
        if ((upper == "PID_" || upper == "pid_") && IsHex4(f.substr(4)))
            pid = Lower(f.substr(4));
    }
    return vid.empty() || pid.empty() ? "" : vid + ":" + pid;
}

}  // namespace

UsbIdentity ParseUsbInstanceId(const std::string& instanceId) {
    UsbIdentity identity;
    const std::vector<std::string> parts = Split(instanceId, '\\');
    if (parts.size() != 3)
        return identity;
    const std::string bus = Lower(parts[0]);
    if (bus == "usb") {
        const std::vector<std::string> fields = Split(parts[1], '&');
        identity.usbId = IdsOf(fields);
        // An interface's instance is the parent's business; a made-up one
        // carries '&'.
        const bool interface = fields.size() > 2;
        if (!identity.usbId.empty() && !interface && parts[2].find('&') == std::string::npos &&
            !parts[2].empty())
            identity.serialNumber = parts[2];
    } else if (bus == "ftdibus") {
        const std::vector<std::string> fields = Split(parts[1], '+');
        identity.usbId = IdsOf(fields);
        // The serial number with the port's letter after it (A for the first).
        if (!identity.usbId.empty() && fields.size() == 3 && fields[2].size() > 1)
            identity.serialNumber = fields[2].substr(0, fields[2].size() - 1);
    }
    return identity;
}

}  // namespace platform
