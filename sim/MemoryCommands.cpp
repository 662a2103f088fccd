// Block and bulk memory commands of the virtual device, as it reads them
// off the wire.
//
// Block read 'R' and writes 'W', 'w', 'X': count (0 = 256), the address,
// for a write the data, then the sum of every byte before it. A Dunmarra
// takes 24-bit addresses, plain or scrambled behind the markers 01 02;
// other devices 16-bit offsets within their read/write bank. Replies: the
// data and their sum; 'O'; for 'X' the 16-bit sum of the data, low first.
// Bulk 'Z' 'R' / 'Z' 'W': page count, address bits 16-23 and 8-15, for a
// write the data, then the sum; answered with the data and their sum, or
// 'O'. Only firmware that carries them answers them. Also the emulation
// mode 'O' of a Dunmarra.
#include <algorithm>

#include "sim/CommandHelpers.h"

namespace sim {
namespace {

constexpr uint8_t kScrambleKey[8] = {0x3E, 0xA1, 0x57, 0xC4, 0x09, 0xD8, 0x62, 0xBB};
constexpr size_t kBulkReadPagesMax = 8;
constexpr size_t kBulkWritePagesMax = 16;

// Each byte is mixed with the previous scrambled byte (the chain), then run
// through the key: even key bytes are added, odd ones XORed.
class WireScrambler {
  public:
    WireScrambler() {
        unsigned sum = 0x5A;
        for (uint8_t k : kScrambleKey)
            sum += k;
        chain_ = static_cast<uint8_t>(sum);
    }
    uint8_t Scramble(uint8_t plain) {
        uint8_t b = plain ^ chain_;
        for (size_t j = 0; j < sizeof kScrambleKey; ++j)
            b = j % 2 == 0 ? static_cast<uint8_t>(b + kScrambleKey[j]) : b ^ kScrambleKey[j];
        chain_ = b;
        return b;
    }
    uint8_t Unscramble(uint8_t wire) {
        uint8_t b = wire;
        for (size_t j = sizeof kScrambleKey; j-- > 0;)
            b = j % 2 == 0 ? static_cast<uint8_t>(b - kScrambleKey[j]) : b ^ kScrambleKey[j];
        b ^= chain_;
        chain_ = wire;
        return b;
    }

  private:
    uint8_t chain_;
};

// Takes a request off the wire byte by byte, keeping what travelled for the
// checksum and, once the markers showed it, undoing the scrambling.
class PacketReader {
  public:
    PacketReader(Session& session, std::vector<uint8_t> head)
        : session_(session), wire_(std::move(head)) {}

    bool Take(size_t count, std::vector<uint8_t>* plain) {
        std::vector<uint8_t> bytes(count);
        if (!session_.ReadBytes(bytes.data(), count, 1000))
            return false;
        wire_.insert(wire_.end(), bytes.begin(), bytes.end());
        if (scrambled_) {
            for (uint8_t& b : bytes)
                b = scrambler_.Unscramble(b);
        }
        plain->insert(plain->end(), bytes.begin(), bytes.end());
        return true;
    }
    // A Dunmarra's address: scrambled when the next two bytes unscramble
    // to 01 02, else plain. Then the given number of address bytes.
    bool TakeDunmarraAddress(size_t addressBytes, uint32_t* address) {
        std::vector<uint8_t> first;
        if (!Take(2, &first))
            return false;
        WireScrambler probe;
        if (probe.Unscramble(first[0]) == 0x01 && probe.Unscramble(first[1]) == 0x02) {
            scrambled_ = true;
            scrambler_ = probe;
            first.clear();
        }
        std::vector<uint8_t> rest;
        if (!Take(addressBytes - first.size(), &rest))
            return false;
        first.insert(first.end(), rest.begin(), rest.end());
        *address = 0;
        for (uint8_t b : first)
            *address = *address << 8 | b;
        return true;
    }
    // The closing checksum: the sum of everything that travelled before it.
    bool SumRight() {
        uint8_t sum = 0;
        if (!session_.ReadByte(&sum, 1000))
            return false;
        return Sum8(wire_, wire_.size()) == sum;
    }
    // Scrambles reply data as a continuation of the request.
    std::vector<uint8_t> ScrambleOnward(std::vector<uint8_t> data) {
        if (scrambled_) {
            for (uint8_t& b : data)
                b = scrambler_.Scramble(b);
        }
        return data;
    }

  private:
    Session& session_;
    std::vector<uint8_t> wire_;
    bool scrambled_ = false;
    WireScrambler scrambler_;
};

bool CarriesBulk(const DeviceConfig& c) {
    return CarriesBulk(SimFamilyOf(c.letter), c.major, c.minor);
}

// The data with their sum, scrambled onward when the request was.
std::vector<uint8_t> DataReply(PacketReader& reader, std::vector<uint8_t> data) {
    std::vector<uint8_t> reply = reader.ScrambleOnward(std::move(data));
    reply.push_back(Sum8(reply, reply.size()));
    return reply;
}

void ServeBlock(Session& session, uint8_t command) {
    const bool dunmarra = SpeaksDunmarra(session.Config());
    session.Name(std::string(1, static_cast<char>(command)));
    PacketReader reader(session, {command});
    std::vector<uint8_t> countByte;
    uint32_t address = 0;
    if (!reader.Take(1, &countByte))
        return;
    const size_t count = countByte[0] == 0 ? 256 : countByte[0];
    std::vector<uint8_t> offset;
    if (dunmarra) {
        if (!reader.TakeDunmarraAddress(3, &address))
            return;
    } else {
        if (!reader.Take(2, &offset))
            return;
        address = session.WithState([](DeviceState& s) { return s.readWriteBank; }) * 0x10000u +
                  static_cast<uint32_t>(offset[0] << 8 | offset[1]);
    }
    const bool write = command != 'R';
    std::vector<uint8_t> data;
    if ((write && !reader.Take(count, &data)) || !reader.SumRight()) {
        Refuse(session);
        return;
    }
    const bool fits =
        session.WithMemory([&](std::vector<uint8_t>& m) { return address + count <= m.size(); });
    if (!fits) {
        session.Reply({'?'});
        return;
    }
    session.WithState([](DeviceState& s) { return ++s.blockPackets; });
    if (!write) {
        std::vector<uint8_t> stored = session.WithMemory([&](std::vector<uint8_t>& m) {
            return std::vector<uint8_t>(m.begin() + address, m.begin() + address + count);
        });
        session.Reply(DataReply(reader, std::move(stored)));
        return;
    }
    session.WithMemory([&](std::vector<uint8_t>& m) {
        std::copy(data.begin(), data.end(), m.begin() + address);
        return 0;
    });
    if (command == 'X') {
        unsigned sum = 0;
        for (uint8_t b : data)
            sum += b;
        session.Reply({static_cast<uint8_t>(sum & 0xFF), static_cast<uint8_t>(sum >> 8 & 0xFF)});
    } else {
        session.Reply({'O'});
    }
}

void ServeBulk(Session& session) {
    const DeviceConfig config = session.Config();
    uint8_t kind = 0;
    if (!session.ReadByte(&kind) || (kind != 'R' && kind != 'W') || !CarriesBulk(config)) {
        session.Name("?");
        Refuse(session);
        return;
    }
    session.Name(kind == 'R' ? "ZR" : "ZW");
    PacketReader reader(session, {'Z', kind});
    std::vector<uint8_t> pagesByte, plainAddress;
    uint32_t address = 0;
    if (!reader.Take(1, &pagesByte))
        return;
    if (SpeaksDunmarra(config)) {
        if (!reader.TakeDunmarraAddress(2, &address))
            return;
    } else {
        if (!reader.Take(2, &plainAddress))
            return;
        address = static_cast<uint32_t>(plainAddress[0] << 8 | plainAddress[1]);
    }
    address <<= 8;  // the address travels without its low byte
    const size_t pages = pagesByte[0];
    const size_t count = pages * 256;
    const bool write = kind == 'W';
    std::vector<uint8_t> data;
    if ((write && !reader.Take(count, &data)) || !reader.SumRight()) {
        Refuse(session);
        return;
    }
    const bool pagesRight = pages >= 1 && pages <= (write ? kBulkWritePagesMax : kBulkReadPagesMax);
    const bool fits =
        session.WithMemory([&](std::vector<uint8_t>& m) { return address + count <= m.size(); });
    if (!pagesRight || !fits) {
        session.Reply({'?'});
        return;
    }
    session.WithState([](DeviceState& s) { return ++s.bulkPackets; });
    if (write) {
        session.WithMemory([&](std::vector<uint8_t>& m) {
            std::copy(data.begin(), data.end(), m.begin() + address);
            return 0;
        });
        session.Reply({'O'});
        return;
    }
    std::vector<uint8_t> stored = session.WithMemory([&](std::vector<uint8_t>& m) {
        return std::vector<uint8_t>(m.begin() + address, m.begin() + address + count);
    });
    session.Reply(DataReply(reader, std::move(stored)));
}

// 'O' 0x00 checksum asks for the emulation mode (answered by its letter);
// 'O' 'E' or 'T' checksum sets it (answered 'O'). Dunmarra only.
void ServeEmulationMode(Session& session) {
    uint8_t params[2];
    if (!session.ReadBytes(params, 2))
        return;
    const bool query = params[0] == 0x00;
    const bool known = query || params[0] == 'E' || params[0] == 'T';
    if (!SpeaksDunmarra(session.Config()) || !known ||
        static_cast<uint8_t>('O' + params[0]) != params[1]) {
        Refuse(session);
        return;
    }
    if (query) {
        session.Reply({session.WithState([](DeviceState& s) { return s.emulationMode; })});
        return;
    }
    session.WithState([&](DeviceState& s) { return s.emulationMode = params[0]; });
    session.Reply({'O'});
}

}  // namespace

void RegisterMemoryCommands(std::map<uint8_t, std::pair<std::string, CommandHandler>>* commands) {
    for (uint8_t command : {'R', 'W', 'w', 'X'}) {
        (*commands)[command] = {std::string(1, static_cast<char>(command)),
                                [command](Session& s) { ServeBlock(s, command); }};
    }
    (*commands)['Z'] = {"Z", ServeBulk};
    (*commands)['O'] = {"O", ServeEmulationMode};
}

}  // namespace sim
