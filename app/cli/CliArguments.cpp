#include "app/cli/CliArguments.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

bool ParseCliArguments(int argc, const char* const* argv, CliArguments* out, std::string* error) {
    *out = CliArguments{};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--trace") {
            out->trace = true;
        } else if (arg == "--no-bulk") {
            out->noBulk = true;
        } else if (arg == "--plain") {
            out->plain = true;
        } else if (arg == "--port") {
            if (i + 1 >= argc) {
                *error = "--port needs a port: COMn or a device path";
                return false;
            }
            out->port = argv[++i];
        } else if (arg == "--capture") {
            if (i + 1 >= argc) {
                *error = "--capture needs a file to write the serial session into";
                return false;
            }
            out->capture = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            *error = "unknown option " + arg;
            return false;
        } else if (out->command.empty()) {
            out->command = arg;
        } else {
            out->operands.push_back(arg);
        }
    }
    return true;
}

bool ParseCliNumber(const std::string& text, uint32_t* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* digits = text.c_str() + (hex ? 2 : 0);
    // Digits only: strtoull alone would also take leading blanks, a sign and
    // a second 0x after the first.
    for (const char* c = digits; *c != '\0'; ++c) {
        if (!(hex ? std::isxdigit(static_cast<unsigned char>(*c))
                  : std::isdigit(static_cast<unsigned char>(*c))))
            return false;
    }
    if (*digits == '\0')
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::strtoull(digits, &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || parsed > 0xFFFFFFFFull)
        return false;
    *value = static_cast<uint32_t>(parsed);
    return true;
}

const char* CliUsage() {
    return "usage: brevik COMMAND [OPERANDS] [--port COMn|PATH] [--trace] [--capture FILE]\n"
           "\n"
           "  ports                        list the port table\n"
           "  detect                       find the device and describe it\n"
           "  update PACKAGE.bfw           check a firmware package and flash it\n"
           "  read ADDRESS SIZE FILE       read device memory into FILE\n"
           "  write ADDRESS FILE           write FILE into device memory\n"
           "  verify ADDRESS FILE          compare device memory with FILE\n"
           "  eeprom ADDRESS SIZE          show configuration memory (1..256 bytes)\n"
           "\n"
           "--capture FILE writes every byte of the serial session, both ways and\n"
           "time-stamped, into FILE (BREVIK_CAPTURE does the same); brevik-sim\n"
           "--replay FILE serves it back as a device.\n"
           "\n"
           "Numbers are decimal or 0x-hexadecimal. read, write and verify take\n"
           "--no-bulk (block packets only) and --plain (no Dunmarra scrambling).\n"
           "Ctrl+C stops a memory transfer between packets; a firmware update is\n"
           "never interrupted.\n";
}
