// Runs a brevik command line in-process, the way the program would, and
// keeps what it printed readable.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "app/cli/CliArguments.h"
#include "app/cli/RunCommand.h"
#include "devicelink/BKQuillex.h"

// Runs one command line in-process; what it printed stays readable.
struct Outcome {
    int code = -1;
    std::string out, err;
};

inline std::string Drain(std::FILE* file) {
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;)
        text.push_back(static_cast<char>(c));
    std::fclose(file);
    return text;
}

// cancelled: Ctrl+C has come before the command runs. systemFolder and
// userFolder, when given, hold the administrator's and the user's package
// policy and keys (a test's own, never the machine's).
inline Outcome Brevik(std::vector<const char*> words, ui::ProgressBar* bar = nullptr,
                      bool cancelled = false, const std::string* systemFolder = nullptr,
                      const std::string* userFolder = nullptr) {
    words.insert(words.begin(), "brevik");
    CliArguments args;
    Outcome run;
    const CliParse parse = ParseCliArguments(static_cast<int>(words.size()), words.data(), &args);
    if (!parse.run) {
        run.code = parse.exitCode;
        run.out = parse.out;
        run.err = parse.err;
        return run;
    }
    if (systemFolder != nullptr)
        args.systemFolder = *systemFolder;
    if (userFolder != nullptr)
        args.userFolder = *userFolder;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    BKQuillex device;
    device.CancelRequested = cancelled ? 1 : 0;
    run.code = RunCliCommand(args, device, out, err, bar);
    run.out = Drain(out);
    run.err = Drain(err);
    return run;
}

// As Brevik, with the policy and keys in folders' system and user.
template <typename Folders>
inline Outcome BrevikIn(const Folders& folders, std::vector<const char*> words) {
    return Brevik(std::move(words), nullptr, false, &folders.system, &folders.user);
}
