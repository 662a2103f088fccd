// brevik: the updater and the device library from the command line, for
// scripts and for people who prefer a terminal. See CliUsage.
#include <cstdio>
#include <string>

#include "app/cli/CliCommands.h"
#include "app/cli/ConsoleProgressBar.h"
#include "diagnostics/TextBuffer.h"
#include "diagnostics/capture/CaptureFile.h"
#include "platform/Console.h"

namespace {

// Prints each trace line to stderr as it is appended.
class StderrTextControl : public platform::TextControl {
  public:
    size_t Length() const override { return length_; }
    void AppendAtEnd(const char* text) override {
        const std::string line(text);
        length_ += line.size();
        std::fputs(line == "\r\n" ? "\n" : ("  | " + line).c_str(), stderr);
    }
    void Clear() override { length_ = 0; }

  private:
    size_t length_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    CliArguments args;
    const CliParse parse = ParseCliArguments(argc, argv, &args);
    if (!parse.run) {
        std::fputs(parse.out.c_str(), stdout);
        std::fputs(parse.err.c_str(), stderr);
        return parse.exitCode;
    }
    const capture::ScopedCapture capture(
        args.capture.empty() ? capture::CapturePathFromEnvironment() : args.capture,
        "brevik " BREVIK_VERSION);
    if (!capture.Ok()) {
        std::fprintf(stderr, "brevik: the capture file cannot be written\n");
        return kCliFileError;
    }
    BKQuillex device;
    StderrTextControl console;
    TraceSink sink(&console);
    if (args.trace)
        device.SetTraceTarget(&sink);
    ConsoleProgressBar progress(stderr, args.jsonProgress              ? ProgressStyle::Json
                                        : args.quiet || args.json      ? ProgressStyle::Off
                                        : platform::IsTerminal(stderr) ? ProgressStyle::Terminal
                                                                       : ProgressStyle::Lines);
    // Ctrl+C asks a memory transfer to stop between packets; a firmware
    // update runs to its end (an interrupted flash can leave the device
    // without firmware), so there the request is noted and dropped.
    std::atomic<int32_t> ignored{0};
    platform::InterruptGuard guard(args.command == "update" ? &ignored : &device.CancelRequested);
    const int code = RunCliCommand(args, device, stdout, stderr, &progress);
    if (args.trace)
        std::fputc('\n', stderr);
    device.SetTraceTarget(nullptr);
    return code;
}
