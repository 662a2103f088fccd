// The commands the virtual device understands, as the device reads them
// off the wire.
#include "sim/VirtualDevice.h"

namespace sim {
namespace {

// "VV": the firmware version as three bytes, major, minor, letter.
void ServeVersion(Session& session) {
    uint8_t second;
    if (!session.ReadByte(&second) || second != 'V') {
        session.Name("?");
        session.Reply({'?'});
        return;
    }
    session.Name("VV");
    DeviceConfig c = session.Config();
    session.Reply({c.major, c.minor, static_cast<uint8_t>(c.letter)});
}

// 'S' code checksum: switch the link rate to 921600 / (code + 1). The 'O'
// goes out at the old rate; the device listens at the new one right after.
void ServeLinkRate(Session& session) {
    uint8_t params[2];
    if (!session.ReadBytes(params, 2))
        return;  // a cut request gets no answer
    const uint8_t code = params[0];
    const bool known = code == 0 || code == 1 || code == 3 || code == 7;
    if (!known || static_cast<uint8_t>('S' + code) != params[1]) {
        session.Reply({'?'});
        return;
    }
    if (session.Reply({'O'}))
        session.SetBaud(921600u / (code + 1u));
}

}  // namespace

void VirtualDevice::RegisterCommands() {
    commands_['V'] = {"VV", ServeVersion};
    commands_['S'] = {"S", ServeLinkRate};
}

}  // namespace sim
