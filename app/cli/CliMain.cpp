// brevik: the updater and the device library from the command line, for
// scripts and for people who prefer a terminal (brevik --help).
#include <cstdio>
#include <string>

#include "app/cli/ConsoleProgressBar.h"
#include "app/cli/RunCommand.h"
#include "app/cli/TraceOutput.h"
#include "diagnostics/TextBuffer.h"
#include "diagnostics/capture/CaptureFile.h"
#include "platform/Console.h"
#include "platform/ProgramArguments.h"
#include "util/OutsideText.h"

int main(int argc, char** argv) {
    platform::ProgramArguments arguments(argc, argv);
    argc = arguments.Count();
    argv = arguments.Values();
    CliArguments args;
    const CliParse parse = ParseCliArguments(argc, argv, &args);
    if (!parse.run) {
        std::fputs(parse.out.c_str(), stdout);
        std::fputs(parse.err.c_str(), stderr);
        return parse.exitCode;
    }
    const std::string capturePath =
        args.capture.empty() ? capture::CapturePathFromEnvironment() : args.capture;
    const capture::ScopedCapture capture(capturePath, "brevik " BREVIK_VERSION);
    if (!capture.Ok()) {
        std::fprintf(stderr, "brevik: the capture file %s cannot be written: %s\n",
                     PrintableText(capturePath).c_str(), capture.Problem().c_str());
        return kCliFileError;
    }
    BKQuillex device;
    TraceOutput console(stderr, args.trace);
    TraceSink sink(&console);
    if (args.trace > 0)
        device.SetTraceTarget(&sink);
    ConsoleProgressBar progress(stderr, args.jsonProgress         ? ProgressStyle::Json
                                        : args.quiet || args.json ? ProgressStyle::Off
                                        : platform::IsTerminal(stderr) && args.trace == 0
                                            ? ProgressStyle::Terminal
                                            : ProgressStyle::Lines);
    // With --trace, long transfers say how far they came among the trace lines.
    TracedProgress traced(&progress, stderr);
    ui::ProgressBar* bar = args.trace > 0 ? static_cast<ui::ProgressBar*>(&traced) : &progress;
    // Ctrl+C stops the search for a device and a memory transfer between
    // packets; once a firmware upload has begun, the command holds every
    // signal until the upload has ended (an interrupted flash can leave the
    // device without firmware).
    platform::InterruptGuard guard(&device.CancelRequested);
    int code = RunCliCommand(args, device, stdout, stderr, bar);
    // A SIGTERM or SIGHUP that ended a transfer as Ctrl+C does ends the
    // program as the signal would have.
    if (guard.StopSignal() != 0)
        code = 128 + guard.StopSignal();
    device.SetTraceTarget(nullptr);
    // The command's result stands; the capture's loss is told once.
    if (capture.WriteFailed())
        std::fprintf(stderr, "brevik: the capture file %s could not be written whole; it is cut\n",
                     PrintableText(capturePath).c_str());
    return code;
}
