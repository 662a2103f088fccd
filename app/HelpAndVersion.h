// --help and --version for the small programs: answered before anything
// else happens, so neither opens a window nor touches a port.
#pragma once

#include <cstdio>
#include <cstring>

// True when the arguments ask for help or the version, after printing it.
inline bool AnswerHelpOrVersion(int argc, char** argv, const char* program, const char* help) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(help, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s\n", program, BREVIK_VERSION);
            return true;
        }
    }
    return false;
}
