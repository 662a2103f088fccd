// The commands the virtual device understands, as the device reads them
// off the wire.
#include "sim/VirtualDevice.h"

#include <numeric>

namespace sim {
namespace {

bool SpeaksCurrentForms(const DeviceConfig& c) {
    return c.letter == 'Q' || c.letter == 'N' || c.letter == 'P' || c.letter == 'L' ||
           c.letter == 'D';
}

uint8_t Sum8(const std::vector<uint8_t>& bytes, size_t count) {
    return static_cast<uint8_t>(std::accumulate(bytes.begin(), bytes.begin() + count, 0u));
}

void Refuse(Session& session) {
    session.DiscardRest();
    session.Reply({'?'});
}

// Count, address high, address low, then (for a write, or the older read's
// padding) size more bytes, then the checksum of everything before it.
// Returns false when the request was cut short or its checksum is wrong.
bool ReadConfigRequest(Session& session, std::vector<uint8_t> head, bool withPayload, size_t* size,
                       uint16_t* address, std::vector<uint8_t>* payload) {
    uint8_t params[3];
    if (!session.ReadBytes(params, 3))
        return false;
    *size = params[0] == 0 ? 256 : params[0];
    *address = static_cast<uint16_t>(params[1] << 8 | params[2]);
    head.insert(head.end(), params, params + 3);
    payload->assign(withPayload ? *size : 0, 0);
    if (withPayload && !session.ReadBytes(payload->data(), *size))
        return false;
    head.insert(head.end(), payload->begin(), payload->end());
    uint8_t sum;
    if (!session.ReadByte(&sum))
        return false;
    return Sum8(head, head.size()) == sum;
}

// Answers a configuration read with the data and its checksum, or takes a
// write and answers 'O'.
void ServeConfig(Session& session, bool write, size_t size, uint16_t address,
                 const std::vector<uint8_t>& data) {
    if (session.Config().configMemorySilent)
        return;
    if (address + size > kConfigMemorySize) {
        session.Reply({'?'});
        return;
    }
    if (write) {
        session.WithState([&](DeviceState& s) {
            std::copy(data.begin(), data.end(), s.configMemory.begin() + address);
            return 0;
        });
        session.Reply({'O'});
        return;
    }
    std::vector<uint8_t> reply = session.WithState([&](DeviceState& s) {
        return std::vector<uint8_t>(s.configMemory.begin() + address,
                                    s.configMemory.begin() + address + size);
    });
    reply.push_back(Sum8(reply, reply.size()));
    session.Reply(reply);
}

// "HR" / "HW": configuration memory, current forms.
void ServeConfigCurrent(Session& session) {
    uint8_t second = 0;
    if (!SpeaksCurrentForms(session.Config()) || !session.ReadByte(&second) ||
        (second != 'R' && second != 'W')) {
        session.Name("?");
        Refuse(session);
        return;
    }
    const bool write = second == 'W';
    session.Name(write ? "HW" : "HR");
    size_t size;
    uint16_t address;
    std::vector<uint8_t> data;
    if (!ReadConfigRequest(session, {'H', second}, write, &size, &address, &data)) {
        Refuse(session);
        return;
    }
    ServeConfig(session, write, size, address, data);
}

// 'E' / 'e': configuration memory, older forms; the read carries size zero
// bytes where the write carries its data.
void ServeConfigOlder(Session& session, bool write) {
    if (SpeaksCurrentForms(session.Config())) {
        session.Name("?");
        Refuse(session);
        return;
    }
    const uint8_t letter = write ? 'e' : 'E';
    size_t size;
    uint16_t address;
    std::vector<uint8_t> payload;
    if (!ReadConfigRequest(session, {letter}, true, &size, &address, &payload)) {
        Refuse(session);
        return;
    }
    ServeConfig(session, write, size, address, payload);
}

// 'B' k1 k2 cs. Queries: "RR" read/write, "ES" static and "EE" active
// emulation bank, answered by the bank number. Settings: 'R', 'S' or 'E'
// then the bank number, answered by 'O'. ("ES" and "EE" are always queries:
// the wire cannot tell them from setting the active bank to 0x53 or 0x45.)
void ServeBank(Session& session) {
    uint8_t params[3];
    if (!SpeaksCurrentForms(session.Config())) {
        session.Name("?");
        Refuse(session);
        return;
    }
    if (!session.ReadBytes(params, 3) ||
        static_cast<uint8_t>('B' + params[0] + params[1]) != params[2]) {
        Refuse(session);
        return;
    }
    const uint8_t kind = params[0], value = params[1];
    if (kind == 'R' && value == 'R') {
        session.Reply({session.WithState([](DeviceState& s) { return s.readWriteBank; })});
    } else if (kind == 'E' && (value == 'S' || value == 'E')) {
        session.Reply({session.WithState([value](DeviceState& s) {
            return value == 'S' ? s.staticEmulationBank : s.activeEmulationBank;
        })});
    } else if ((kind == 'R' && value <= 7) || kind == 'S' || kind == 'E') {
        session.WithState([kind, value](DeviceState& s) {
            (kind == 'R'   ? s.readWriteBank
             : kind == 'S' ? s.staticEmulationBank
                           : s.activeEmulationBank) = value;
            return 0;
        });
        session.Reply({'O'});
    } else {
        session.Reply({'?'});
    }
}

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
    commands_['H'] = {"HR", ServeConfigCurrent};
    commands_['E'] = {"E", [](Session& s) { ServeConfigOlder(s, false); }};
    commands_['e'] = {"e", [](Session& s) { ServeConfigOlder(s, true); }};
    commands_['B'] = {"B", ServeBank};
}

}  // namespace sim
