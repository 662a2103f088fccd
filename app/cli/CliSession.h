// One run of the brevik tool, shared by the units of its commands: what it
// tells people (results on out, complaints on err, every line made
// printable), or the JSON document it builds instead.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/ConsoleProgressBar.h"
#include "app/cli/JsonDocument.h"
#include "app/cli/RunCommand.h"
#include "app/flash/PackageTrust.h"
#include "devicelink/BKQuillex.h"
#include "platform/Console.h"
#include "platform/PortTable.h"
#include "platform/PortWatch.h"
#include "ui/ProgressBar.h"
#include "util/OutsideText.h"

namespace cli {

// "0x1F00".
std::string Hex(uint32_t value);

// A message as one line for a terminal: the dialog's texts break their lines
// for a message box, which a space does here; every other control byte,
// from our text or from outside, is shown escaped.
std::string ForTerminal(std::string text);

// One run of the tool: what it tells people, or the JSON document it builds.
class Session {
  public:
    Session(const CliArguments& a, BKQuillex& d, std::FILE* o, std::FILE* e, ui::ProgressBar* p)
        : args(a), device(d), out(o), err(e), progress(p), doc(StartDocument(a.command)) {}

    // A line for people on stdout (nothing with --json). Names and strings
    // from outside are in it, so it is made printable as a whole.
    void Say(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        if (args.json)
            return;
        va_list list;
        va_start(list, format);
        char line[1024];
        const int length = std::vsnprintf(line, sizeof line, format, list);
        va_end(list);
        std::string text = length < 0 ? std::string() : std::string(line);
        if (length >= static_cast<int>(sizeof line)) {
            text.resize(static_cast<size_t>(length) + 1);
            va_start(list, format);
            std::vsnprintf(text.data(), text.size(), format, list);
            va_end(list);
            text.pop_back();
        }
        std::fprintf(out, "%s\n", ForTerminal(text).c_str());
        // Out at once: progress goes to stderr, and a pipe that takes both
        // (2>&1 | tee) keeps the order they were said in.
        std::fflush(out);
    }
    // Ends the run with a failure: a line on stderr, or the error object.
    // The details, when given, follow it on lines of their own.
    int Fail(int exitCode, const std::string& message,
             const std::vector<std::string>& details = {}) {
        if (!args.json) {
            std::fprintf(err, "brevik: %s\n", ForTerminal(message).c_str());
            for (const std::string& detail : details)
                std::fprintf(err, "  %s\n", ForTerminal(detail).c_str());
        }
        SetError(doc, exitCode, message);
        return exitCode;
    }
    int Finish(int exitCode) {
        if (args.json) {
            SetOutcome(doc, exitCode);
            if (hold && hold->HeldSignal() != 0)
                doc["held_signal"] = hold->HeldSignal();
            std::fputs(DocumentText(doc).c_str(), out);
        }
        return exitCode;
    }
    // From here to the end of the run, signals wait for the work to end.
    void HoldStopSignals(const char* notice =
                             "brevik: the firmware update goes on to its end (the device keeps "
                             "its old firmware until the upload's last step); the program ends "
                             "after it\n") {
        if (!hold)
            hold.emplace(notice);
    }
    // Ctrl+C came while a device was looked for.
    bool Cancelled() const { return device.CancelRequested.load() != 0; }

    // --wait: ports are watched from the start of the run, so that a device
    // plugged in while the first search runs is not missed.
    // Listens for ports coming and going, the path --port names among them.
    void WatchPorts();
    // After a search found nothing: waits for a port to come or go within
    // --wait's time, and true when the search should run again; false when
    // not waiting, the time ran out (waitRanOut) or Ctrl+C came.
    bool AwaitPortChange();
    bool waitRanOut = false;

    const CliArguments& args;
    BKQuillex& device;
    std::FILE* out;
    std::FILE* err;
    ui::ProgressBar* progress;
    Json doc;
    int onlyPort = 0;  // --port: COMn alone
    // The path --port named when it is in no table: the port is shown by it.
    std::string namedPath;
    // How the port is shown to people: the path named, else COMn.
    std::string PortName(int port) const {
        return !namedPath.empty() && port == onlyPort ? namedPath
                                                      : platform::PortTable::ComName(port);
    }
    std::optional<platform::StopSignalHold> hold;
    std::unique_ptr<platform::PortWatch> portWatch;
    // The package's judgement (signature, lists), once it was read.
    flash::PackageTrust trust;

    // Work of this many bytes begins and ends; the console bar shows bytes,
    // rate and time left, and 100% at a completed end.
    void BeginWork(uint64_t bytes) {
        if (auto* console = dynamic_cast<WorkProgress*>(progress))
            console->Begin(bytes);
    }
    void EndWork(bool completed) {
        if (auto* console = dynamic_cast<WorkProgress*>(progress))
            console->End(completed);
    }

  private:
    using Clock = std::chrono::steady_clock;
    bool waitSaid_ = false;
    Clock::time_point waitEnds_{};
    Clock::time_point settledAt_{};
};

}  // namespace cli
