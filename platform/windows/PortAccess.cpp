// Windows keeps no groups on serial ports and does not tell who holds one
// open; there is no ModemManager. Only the kind of a name is known here.
#include "platform/PortAccess.h"

#include "platform/LoopbackLine.h"

namespace platform {

std::string GroupOwningDevice(const std::string&) {
    return "";
}

std::vector<PortHolder> ProcessesHoldingDevice(const std::string&) {
    return {};
}

bool ModemManagerRunning() {
    return false;
}

bool IsModemClassDevice(const std::string&) {
    return false;
}

PortFacts DescribePort(const std::string& path, const std::string&) {
    PortFacts facts;
    if (IsLoopbackName(path.c_str()))
        facts.kind = "loopback";
    return facts;
}

}  // namespace platform
