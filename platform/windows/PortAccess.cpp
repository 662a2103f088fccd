// Windows keeps no groups on serial ports and does not tell who holds one
// open; there is no ModemManager. Only the kind of a name is known here.
#include "platform/PortAccess.h"

#include "platform/LineSource.h"

namespace platform {

std::string GroupOwningDevice(const std::string&) {
    return "";
}

std::vector<PortHolder> ProcessesHoldingDevice(const std::string&) {
    return {};
}

PortFacts DescribePort(const std::string& path) {
    PortFacts facts;
    if (const LineSource* source = LineSourceFor(path.c_str()))
        facts.kind = source->Kind();
    return facts;
}

// A COM port refuses a second user while one program has it; no group or
// rule grants it.
std::string PermissionAdvice(const std::string&) {
    return "Another program may have the port open, or its driver refuses this user: close "
           "programs that use serial ports and try again";
}

std::string SilentPortAdvice(const std::string&) {
    return "";
}

}  // namespace platform
