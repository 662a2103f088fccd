// `brevik update` with a signal or a closed output at a chosen block: POSIX
// signals and pipes.
#include "fuzz/UpdateRun.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/CliArguments.h"
#include "app/cli/RunCommand.h"
#include "devicelink/BKQuillex.h"
#include "fuzz/CommandRuns.h"
#include "fuzz/Models.h"
#include "package/PackageBuilder.h"
#include "platform/PortTable.h"
#include "sim/DeviceLines.h"
#include "sim/VirtualDevice.h"

namespace fuzz {
namespace {

// Raises a signal when the upload acknowledges block `at`: the moment an
// outside signal would come.
class SignallingProgress : public ui::ProgressBar {
  public:
    SignallingProgress(int signal, int at) : signal_(signal), at_(at) {}
    void SetRange(int, int) override {}
    void SetStep(int) override {}
    void SetPosition(int) override {}
    void StepIt() override {
        if (++steps_ == at_ && signal_ != 0) {
            std::raise(signal_);
            raised_ = true;
        }
    }
    bool Raised() const { return raised_; }

  private:
    int signal_;
    int at_;
    int steps_ = 0;
    bool raised_ = false;
};

}  // namespace

std::string CheckUpdateRun(const uint8_t* data, size_t size) {
    const int signals[] = {SIGTERM, SIGHUP, SIGINT, SIGPIPE, 0};
    const int signal = signals[(size > 0 ? data[0] : 0) % 5];
    const int block = 1 + (size > 1 ? data[1] : 0) % 4;
    const bool closedOutput = size > 2 && (data[2] & 1) != 0;
    const bool json = size > 3 && (data[3] & 1) != 0;

    sim::VirtualDevice device;
    if (!device.Start(sim::DeviceLineKind::Loopback))
        return "";
    platform::PortTable::SetOverride({device.PortPath()});
    static const std::string package = [] {
        const std::string file = ScratchFile("update-run.bfw");
        WritePackageFile(file, FirmwarePackage(kFuzzPackageBody - 1, 2, 12, 'Q'));
        return file;
    }();
    std::vector<const char*> argv = {"brevik", "update", package.c_str()};
    if (json)
        argv.push_back("--json");
    CliArguments args;
    ParseCliArguments(static_cast<int>(argv.size()), argv.data(), &args);

    // An output that went away: a pipe whose reading end is closed.
    int ends[2] = {-1, -1};
    std::FILE* out = nullptr;
    if (closedOutput && ::pipe(ends) == 0) {
        ::close(ends[0]);
        out = ::fdopen(ends[1], "w");
    }
    if (out == nullptr)
        out = std::tmpfile();
    SignallingProgress progress(signal, block);
    BKQuillex host;
    const int code = RunCliCommand(args, host, out, out, &progress);
    std::fclose(out);
    host.ClosePort();
    platform::PortTable::ClearOverride();
    const sim::DeviceState state = device.State();
    bool began = false;
    for (const sim::Exchange& e : device.Exchanges())
        began = began || (!e.command.empty() && e.command[0] == 'f');
    device.Stop();

    if (began && state.uploadsCompleted != 1)
        return "an upload began and did not complete (signal " + std::to_string(signal) +
               " at block " + std::to_string(block) + ")";
    const int held = progress.Raised() && signal != SIGPIPE ? 128 + signal : 0;
    if (held != 0 && code != held)
        return "a signal held through the upload did not become the exit code (" +
               std::to_string(code) + ")";
    if (held == 0 && code == kCliSucceeded && state.uploadsCompleted != 1)
        return "a success without a completed upload";
    if (held == 0 && code != kCliSucceeded && state.uploadsCompleted == 1)
        return "a completed upload reported as a failure (" + std::to_string(code) + ")";
    return "";
}

}  // namespace fuzz
