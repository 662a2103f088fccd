// Identity, status and data-link commands of the virtual device, as it
// reads them off the wire.
#include <algorithm>

#include "sim/CommandHelpers.h"

namespace sim {
namespace {

constexpr uint8_t kSerialRequestSum = 0xA1;  // 'N' + 'S'
constexpr size_t kVendorWriteSize = 11;
constexpr size_t kBurstWakes = 20;

size_t CountOf(uint8_t wire) {
    return wire == 0 ? 256 : wire;  // 256 travels as 0
}

// What goes back for a pass-through: the bytes the link delivered, cut to
// the count asked for, and the trailer once the count was complete.
std::vector<uint8_t> LinkReply(std::vector<uint8_t> delivered, size_t count) {
    const bool complete = delivered.size() >= count;
    delivered.resize(std::min(delivered.size(), count));
    if (complete)
        delivered.insert(delivered.end(), kDataLinkTrailer.begin(), kDataLinkTrailer.end());
    return delivered;
}

}  // namespace

void ServeStatusQuery(Session& session) {
    session.Name("SS");
    const uint8_t state = session.Config().busy ? 'B' : 'O';
    session.Reply({state, state});
}

void ServeStatusWords(Session& session) {
    uint8_t second = 0;
    if (!session.ReadByte(&second) || second != 'C' || !SpeaksCurrentForms(session.Config())) {
        session.Name("?");
        Refuse(session);
        return;
    }
    std::vector<uint8_t> reply;
    for (uint16_t word : session.Config().statusWords) {
        reply.push_back(static_cast<uint8_t>(word >> 8));
        reply.push_back(static_cast<uint8_t>(word & 0xFF));
    }
    reply.push_back(Sum8(reply, reply.size()));
    session.WithState([](DeviceState& s) { return ++s.statusPolls; });
    session.Reply(reply);
}

// 'N' 'S' 0xA1: the serial number (9 bytes and their sum). Any other 'N'
// request is the 11-byte vendor write: 'N', identifier, serial bytes 1..8,
// checksum; answered 'O' when the serial bytes are this device's.
void ServeIdentity(Session& session) {
    const DeviceConfig config = session.Config();
    std::vector<uint8_t> request = {'N', 0, 0};
    if (!session.ReadBytes(request.data() + 1, 2))
        return;
    if (!SpeaksDunmarra(config)) {
        session.Name("?");
        Refuse(session);
        return;
    }
    if (request[1] == 'S' && request[2] == kSerialRequestSum) {
        session.Name("NS");
        std::vector<uint8_t> reply(config.serialNumber.begin(), config.serialNumber.end());
        reply.push_back(Sum8(reply, reply.size()));
        session.Reply(reply);
        return;
    }
    session.Name("NV");
    request.resize(kVendorWriteSize);
    if (!session.ReadBytes(request.data() + 3, kVendorWriteSize - 3))
        return;
    const bool sumRight = Sum8(request, kVendorWriteSize - 1) == request[kVendorWriteSize - 1];
    const bool serialRight =
        std::equal(config.serialNumber.begin() + 1, config.serialNumber.end(), request.begin() + 2);
    if (!sumRight || !serialRight) {
        Refuse(session);
        return;
    }
    session.WithState([&](DeviceState& s) { return s.vendorId = request[1]; });
    session.Reply({'O'});
}

// 'K' n m request... checksum: the request goes out on the data link; the
// device hears it back on the shared line, then the peer's answer.
void ServeDataLink(Session& session) {
    const DeviceConfig config = session.Config();
    std::vector<uint8_t> frame = {'K', 0, 0};
    if (!session.ReadBytes(frame.data() + 1, 2))
        return;
    const size_t requestLength = CountOf(frame[1]), replyLength = CountOf(frame[2]);
    frame.resize(3 + requestLength + 1);
    if (!session.ReadBytes(frame.data() + 3, requestLength + 1) || !SpeaksCurrentForms(config) ||
        Sum8(frame, frame.size() - 1) != frame.back()) {
        Refuse(session);
        return;
    }
    const std::vector<uint8_t> request(frame.begin() + 3, frame.end() - 1);
    std::vector<uint8_t> delivered = request;
    const bool awake = session.WithState([&](DeviceState& s) {
        const bool answers =
            config.dataLinkConnected || (config.dataLinkWakesOnBurst && s.dataLinkAwake);
        if (config.dataLinkWakesOnBurst && requestLength >= kBurstWakes)
            s.dataLinkAwake = true;
        return answers;
    });
    if (awake)
        delivered.insert(delivered.end(), request.begin(), request.end());
    session.Reply(LinkReply(delivered, replyLength));
}

// 'k' m checksum: listen for m bytes from the peer; the reply starts with
// one byte of its own.
void ServeDataLinkListen(Session& session) {
    uint8_t params[2];
    if (!session.ReadBytes(params, 2))
        return;
    if (!SpeaksCurrentForms(session.Config()) ||
        static_cast<uint8_t>('k' + params[0]) != params[1]) {
        Refuse(session);
        return;
    }
    std::vector<uint8_t> reply = {'L'};
    const std::vector<uint8_t> heard =
        LinkReply(session.Config().dataLinkListenData, CountOf(params[0]));
    reply.insert(reply.end(), heard.begin(), heard.end());
    session.Reply(reply);
}

}  // namespace sim
