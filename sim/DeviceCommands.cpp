// The commands the virtual device understands, as the device reads them
// off the wire.
#include "sim/CommandHelpers.h"
#include "sim/VirtualDevice.h"

#include <algorithm>
#include <numeric>

namespace sim {
namespace {

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

// 'S' code checksum: switch the link rate to 921600 / (code + 1), answered
// 'O'; the device listens at the new rate from then on.
// "SS" is the status query ('S' is no rate code).
void ServeLinkRate(Session& session) {
    uint8_t params[2];
    if (!session.ReadByte(&params[0]))
        return;  // a cut request gets no answer
    if (params[0] == 'S') {
        ServeStatusQuery(session);
        return;
    }
    if (!session.ReadByte(&params[1]))
        return;
    const uint8_t code = params[0];
    const bool known = code == 0 || code == 1 || code == 3 || code == 7;
    if (!known || static_cast<uint8_t>('S' + code) != params[1]) {
        session.Reply({'?'});
        return;
    }
    // The switch is made before the 'O' can reach the host, so that the
    // host's next request, sent at the new rate, is heard.
    session.Reply({'O'}, [&session, code] { session.SetBaud(921600u / (code + 1u)); });
}

// True when the host will go on after this block reply: it stops on
// silence, '?' and 'R', and passes over any other byte.
bool HostGoesOn(const Session& session) {
    const std::vector<uint8_t>& sent = session.LastSent();
    return !sent.empty() && sent[0] != '?' && sent[0] != 'R';
}

// 'f' n-high n-low cs (twice for a 'D' device), answered 'O'; then the body
// in transmissions of 256 bytes, the last one carrying the body's sum as an
// extra byte, each answered 'O'; then the final status byte. Replies are
// named "f" (the command), "f.block" and "f.final" for fault injection.
void ServeUpload(Session& session) {
    const DeviceConfig config = session.Config();
    uint8_t params[3];
    if (!session.ReadBytes(params, 3))
        return;
    if (!SpeaksCurrentForms(config) ||
        static_cast<uint8_t>('f' + params[0] + params[1]) != params[2]) {
        Refuse(session);
        return;
    }
    if (SpeaksDunmarra(config)) {
        uint8_t again[4];
        if (!session.ReadBytes(again, 4) || again[0] != 'f' ||
            !std::equal(params, params + 3, again + 1)) {
            Refuse(session);
            return;
        }
    }
    const size_t n = params[0] == 0 && params[1] == 0 ? 65536 : (params[0] << 8 | params[1]);
    session.Reply({'O'});
    if (session.LastSent() != std::vector<uint8_t>{'O'})
        return;

    session.Name("f.block");
    const size_t fullBlocks = n / 256, rest = n % 256;
    std::vector<uint8_t> body(n);
    std::vector<size_t> transmissions;
    uint8_t external = 0;
    const size_t count = fullBlocks + (rest > 0 ? 1 : 0);
    const std::vector<uint8_t> ok = {'O'};
    // What arrived is recorded, also when the upload ends early (status 0).
    auto record = [&](uint8_t status, size_t received) {
        session.WithState([&](DeviceState& s) {
            s.uploadedBody.assign(body.begin(), body.begin() + static_cast<long>(received));
            s.uploadTransmissions = transmissions;
            s.uploadExternalChecksum = external;
            s.uploadFinalStatus = status;
            if (status == 'C' || status == 'O')
                ++s.uploadsCompleted;
            return 0;
        });
    };
    for (size_t k = 0; k < count; ++k) {
        const bool last = k == count - 1;
        const size_t data = k < fullBlocks ? 256 : rest;
        if (!session.ReadBytes(body.data() + k * 256, data, 1000) ||
            (last && !session.ReadByte(&external, 1000))) {
            record(0, k * 256);  // the host stopped sending
            return;
        }
        transmissions.push_back(data + (last ? 1 : 0));
        session.Reply(ok);
        if (!HostGoesOn(session)) {
            record(0, k * 256 + data);
            return;
        }
    }

    const uint8_t own = Sum8(body, body.size());
    const uint8_t status = own == external ? config.finalStatus : 'E';
    const bool stored = status == 'C' || status == 'O';
    // Everything is recorded before the status goes out: a host that has
    // the status finds the upload in the device's state.
    record(status, n);
    // A stored image brings its version: the stamp "BKIM" major minor letter.
    if (stored && body.size() >= 7 && std::equal(body.begin(), body.begin() + 4, "BKIM")) {
        DeviceConfig updated = config;
        updated.major = body[4];
        updated.minor = body[5];
        updated.letter = static_cast<char>(body[6]);
        session.SetConfig(updated);
    }
    session.Name("f.final");
    session.Reply({status});
}

}  // namespace

void VirtualDevice::RegisterCommands() {
    commands_['V'] = {"VV", ServeVersion};
    commands_['S'] = {"S", ServeLinkRate};
    commands_['H'] = {"HR", ServeConfigCurrent};
    commands_['E'] = {"E", [](Session& s) { ServeConfigOlder(s, false); }};
    commands_['e'] = {"e", [](Session& s) { ServeConfigOlder(s, true); }};
    commands_['B'] = {"B", ServeBank};
    commands_['f'] = {"f", ServeUpload};
    commands_['C'] = {"CC", ServeStatusWords};
    commands_['N'] = {"N", ServeIdentity};
    commands_['K'] = {"K", ServeDataLink};
    commands_['k'] = {"k", ServeDataLinkListen};
    RegisterMemoryCommands(&commands_);
}

}  // namespace sim
