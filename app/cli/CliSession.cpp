#include "app/cli/CliSession.h"

#include <algorithm>

namespace cli {

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

std::string ForTerminal(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return PrintableText(text);
}

}  // namespace cli
