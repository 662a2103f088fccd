#include "sim/FaultOption.h"

#include <cstdlib>

namespace sim {
namespace {

bool ParseNumber(const std::string& text, int base, long max, long* value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, base);
    if (*end != '\0' || v < 0 || v > max)
        return false;
    *value = v;
    return true;
}

std::string CommandOf(const std::string& name) {
    if (name == "upload")
        return "f";
    if (name == "upload.block")
        return "f.block";
    if (name == "upload.final")
        return "f.final";
    return name;
}

}  // namespace

const char* FaultOptionHelp() {
    return "  --fault REPLY[=K]:KIND[:VALUE]\n"
           "              spoil a reply of the device; once per REPLY. REPLY is upload (the\n"
           "              upload command's reply), upload.block, upload.final, or a\n"
           "              command name (VV, S, HR, E, e, B, R, W, w, X, ZR, ZW, SS, CC,\n"
           "              NS, NV, K, k, O). =K: only the K-th such reply (from 0);\n"
           "              without it, every one. KIND is one of\n"
           "                silent     no reply at all\n"
           "                hangup     the line hangs up instead of answering\n"
           "                unknown    '?' instead of the first reply byte\n"
           "                wrong:HH   the first reply byte replaced by HH (hex)\n"
           "                badsum     the last reply byte changed\n"
           "                short      the last reply byte left out\n"
           "                late:MS    the reply sent MS milliseconds late\n"
           "              e.g. --fault upload.block=3:silent --fault VV:late:400\n";
}

bool ParseFaultOption(const std::string& text, FaultOption* option, std::string* error) {
    *option = FaultOption{};
    const size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0) {
        *error = "a fault is REPLY[=K]:KIND[:VALUE], not '" + text + "'";
        return false;
    }
    std::string reply = text.substr(0, colon);
    std::string kind = text.substr(colon + 1);
    std::string value;
    const size_t valueColon = kind.find(':');
    if (valueColon != std::string::npos) {
        value = kind.substr(valueColon + 1);
        kind = kind.substr(0, valueColon);
    }
    const size_t equals = reply.find('=');
    if (equals != std::string::npos) {
        long k = 0;
        if (!ParseNumber(reply.substr(equals + 1), 10, 1000000, &k)) {
            *error = "'" + reply.substr(equals + 1) + "' is not a reply number";
            return false;
        }
        option->fault.skip = static_cast<int>(k);
        option->fault.times = 1;
        reply = reply.substr(0, equals);
    }
    option->command = CommandOf(reply);
    Fault& f = option->fault;
    const bool needsValue = kind == "wrong" || kind == "late";
    if (needsValue == value.empty()) {
        *error = needsValue ? "'" + kind + "' needs a value" : "'" + kind + "' takes no value";
        return false;
    }
    long number = 0;
    if (kind == "silent") {
        f.kind = FaultKind::NoReply;
    } else if (kind == "hangup") {
        f.kind = FaultKind::Disconnect;
    } else if (kind == "unknown") {
        f.kind = FaultKind::WrongByte;
        f.byte = '?';
    } else if (kind == "wrong" && ParseNumber(value, 16, 255, &number)) {
        f.kind = FaultKind::WrongByte;
        f.byte = static_cast<uint8_t>(number);
    } else if (kind == "badsum") {
        f.kind = FaultKind::BadChecksum;
    } else if (kind == "short") {
        f.kind = FaultKind::CutShort;
    } else if (kind == "late" && ParseNumber(value, 10, 600000, &number)) {
        f.kind = FaultKind::Delay;
        f.delayMs = static_cast<int>(number);
    } else {
        *error = "'" + kind + (value.empty() ? "" : ":" + value) + "' is not a fault kind";
        return false;
    }
    return true;
}

}  // namespace sim
