// brevik-docgen WHAT FILE: the text the build makes from brevik's command
// table, into FILE: a completion script (bash, zsh, fish, powershell) or the
// man page's section on the commands (man). Not installed.
#include <cstdio>
#include <fstream>
#include <string>

#include "app/cli/ManPageSection.h"
#include "app/cli/ShellCompletion.h"

int main(int argc, char** argv) {
    const std::string what = argc == 3 ? argv[1] : "";
    const CommandLineShape shape = DescribeCommandLine();
    const std::string text =
        what == "man" ? cli::ManPageCommandsSection(shape) : cli::CompletionScript(what, shape);
    if (text.empty()) {
        std::fputs("usage: brevik-docgen bash|zsh|fish|powershell|man FILE\n", stderr);
        return 2;
    }
    // A build output, remade whole each time.
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "brevik-docgen: %s could not be written\n", argv[2]);
        return 1;
    }
    return 0;
}
