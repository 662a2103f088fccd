// What the device link must answer, worked out from the wire rules alone and
// written apart from the library: the oracles of the fuzz targets and of the
// randomized tests.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace model {

struct PackageVerdicts {
    bool selectable;
    bool uploadable;
};

// Header "ZRFW" and a 32-bit sum of bytes 8.. at 4 (little-endian); a body of
// 1..65536 bytes whose last byte is the sum of the others. Selection wants the
// magic, the sum and no more than the largest body.
inline PackageVerdicts Package(const std::vector<uint8_t>& f) {
    if (f.size() < 256)
        return {false, false};
    const bool magic = f[0] == 'Z' && f[1] == 'R' && f[2] == 'F' && f[3] == 'W';
    uint32_t sum = 0;
    for (size_t i = 8; i < f.size(); ++i)
        sum += f[i];
    const uint32_t stored = f[4] | f[5] << 8 | f[6] << 16 | uint32_t(f[7]) << 24;
    const bool selectable = magic && sum == stored && f.size() <= 256 + 65536;
    const size_t n = f.size() - 256;
    bool bodyOk = n >= 1 && n <= 65536;
    if (bodyOk) {
        uint8_t check = 0;
        for (size_t i = 256; i + 1 < f.size(); ++i)
            check = static_cast<uint8_t>(check + f[i]);
        bodyOk = check == f.back();
    }
    return {selectable, selectable && bodyOk};
}

struct UploadOutcome {
    int result;
    int acknowledged;  // block replies 'O': the bar's steps
};

// The upload of an n-byte body against replies released one per host write
// (the command, twice for a 'D' device, then each transmission): a reply
// that is not there is a time-out (-17). The command wants 'O' (else -7);
// a block reply '?' is -3, 'R' -12, 'O' a step, anything else passed over;
// the final status byte follows the status table, unknown bytes meaning
// success as the device's firmware defines it.
inline UploadOutcome Upload(const std::vector<std::vector<uint8_t>>& replies, size_t n,
                            bool doubledCommand) {
    std::deque<uint8_t> line;
    size_t next = 0;
    auto write = [&] {
        if (next < replies.size())
            line.insert(line.end(), replies[next].begin(), replies[next].end());
        ++next;
    };
    auto read = [&](uint8_t* byte) {
        if (line.empty())
            return false;
        *byte = line.front();
        line.pop_front();
        return true;
    };
    UploadOutcome out{0, 0};
    uint8_t reply = 0;
    write();
    if (doubledCommand)
        write();
    if (!read(&reply))
        return {-17, 0};
    if (reply != 'O')
        return {-7, 0};
    const size_t transmissions = n / 256 + (n % 256 != 0 ? 1 : 0);
    for (size_t k = 0; k < transmissions; ++k) {
        write();
        if (!read(&reply))
            return {-17, out.acknowledged};
        if (reply == '?')
            return {-3, out.acknowledged};
        if (reply == 'R')
            return {-12, out.acknowledged};
        out.acknowledged += reply == 'O';
    }
    if (!read(&reply))
        return {-17, out.acknowledged};
    switch (reply) {
        case '?':
            out.result = -3;
            break;
        case 'E':
            out.result = -11;
            break;
        case 'F':
            out.result = -7;
            break;
        case 'H':
            out.result = -22;
            break;
        case 'I':
            out.result = -13;
            break;
        case 'R':
            out.result = -12;
            break;
        case 'V':
            out.result = -21;
            break;
        case 'W':
            out.result = -15;
            break;
        default:
            out.result = 0;
    }
    return out;
}

// A number on the command line: decimal digits, or 0x/0X and hexadecimal
// digits, nothing else (no blanks, no sign, no second prefix), 32 bits.
inline bool CliNumber(const std::string& text, uint32_t* value) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const size_t from = hex ? 2 : 0;
    if (text.size() == from)
        return false;
    uint64_t v = 0;
    for (size_t i = from; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        v = v * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (v > 0xFFFFFFFFull)
            return false;
    }
    *value = static_cast<uint32_t>(v);
    return true;
}

}  // namespace model
