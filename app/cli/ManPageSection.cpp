#include "app/cli/ManPageSection.h"

#include <sstream>

#include "app/cli/CommandTable.h"

namespace cli {
namespace {

// Text as roff reads it: a backslash escaped, a minus a minus (not a
// hyphen), and a line that would start with a control character kept text.
std::string Roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\''))
        out.insert(0, "\\&");
    return out;
}

}  // namespace

std::string ManPageCommandsSection(const CommandLineShape& shape) {
    std::ostringstream o;
    o << "[COMMANDS]\n";
    for (const CommandShape& c : shape.commands) {
        o << ".SS \"" << Roff(c.name);
        for (const std::string& operand : c.operands)
            o << " " << Roff(operand);
        o << "\"\n" << Roff(c.help) << ".\n";
        for (const std::string& operand : c.operands) {
            o << ".TP\n\\fI" << Roff(operand) << "\\fR\n" << Roff(OperandHelp(operand)) << "\n";
        }
        for (const OptionShape& option : c.options) {
            o << ".TP\n";
            for (size_t i = 0; i < option.names.size(); ++i)
                o << (i ? ", " : "") << "\\fB" << Roff(option.names[i]) << "\\fR";
            if (option.valueOptional)
                o << "[=\\fI" << Roff(option.value) << "\\fR]";
            else if (!option.value.empty())
                o << " \\fI" << Roff(option.value) << "\\fR";
            o << "\n" << Roff(option.help) << "\n";
        }
    }
    return o.str();
}

}  // namespace cli
