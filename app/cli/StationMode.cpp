#include "app/cli/StationMode.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "app/cli/DeviceFinding.h"
#include "app/cli/Flashing.h"
#include "app/common/DeviceTexts.h"
#include "app/flash/PortSelection.h"
#include "platform/Digest.h"
#include "platform/Environment.h"
#include "platform/FileAccess.h"
#include "platform/PathEvents.h"
#include "platform/PortAccess.h"
#include "platform/PortTable.h"
#include "util/OutsideText.h"

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;

// A board may need a moment after its port appears (powered by the same
// plug): the port is probed this many times, this far apart.
constexpr int kSettleProbes = 4;
constexpr auto kSettlePause = std::chrono::milliseconds(500);
// How often the watch looks for a stop signal between port events.
constexpr int kLookMs = 200;

// "2026-12-08T15:45:38.123Z": a log line's time, the same on every station.
// The log's record, as docs/command-line.md describes it; a change that a
// reader of the log must know of counts it up.
constexpr int kLogSchema = 1;

double Seconds(Clock::duration d) {
    return std::chrono::round<std::chrono::milliseconds>(d).count() / 1000.0;
}

std::string UtcNow() {
    using namespace std::chrono;
    const auto now = floor<milliseconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char text[32];
    std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
        static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return text;
}

std::vector<platform::PortEntry> PortsNamedOrAll(const Session& s);

// The ports the watch covers: every port, or those --port names; a named
// path with nothing behind it yet is no board.
std::vector<platform::PortEntry> WatchedPorts(const Session& s) {
    std::vector<platform::PortEntry> ports = PortsNamedOrAll(s);
    std::erase_if(ports,
                  [](const platform::PortEntry& p) { return !platform::PathPresent(p.path); });
    return ports;
}

std::vector<platform::PortEntry> PortsNamedOrAll(const Session& s) {
    if (s.args.port.empty())
        return platform::PortTable::List();
    if (flash::IsPortSelector(s.args.port)) {
        std::string malformed;
        return flash::PortsSelected(s.args.port, &malformed);
    }
    std::vector<platform::PortEntry> ports = platform::PortTable::List();
    const std::optional<std::string> named = platform::PortTable::Resolve(s.args.port.c_str());
    std::erase_if(ports, [&](const platform::PortEntry& p) { return !named || p.path != *named; });
    if (ports.empty() && named && platform::PortTable::IsPathName(named->c_str()))
        ports.push_back({platform::kMaxPortNumber, *named, ""});
    return ports;
}

class Station {
  public:
    Station(Session& s, const Package& package, platform::LogFile* log)
        : s_(s),
          package_(package),
          log_(log),
          host_(platform::HostName()),
          packageSha256_(platform::HexText(platform::Sha256(package.bytes))) {}
    ~Station() { Finish(); }

    // Starts on each port that is new, and forgets those pulled out whose
    // work has ended, so that a replugged board is taken again.
    void Seen(const std::vector<platform::PortEntry>& ports) {
        std::set<std::string> present;
        for (const platform::PortEntry& p : ports)
            present.insert(p.path);
        for (auto it = slots_.begin(); it != slots_.end();) {
            Slot& slot = *it->second;
            const bool here = present.count(it->first) != 0;
            // Back while its worker still runs (pulled and plugged within
            // the settle probes): a fresh worker as soon as that one ends.
            slot.returned = slot.gone && here;
            slot.gone = slot.gone || !here;
            if (slot.gone && slot.done) {
                slot.worker.join();
                it = slots_.erase(it);
            } else {
                ++it;
            }
        }
        for (const platform::PortEntry& p : ports) {
            if (slots_.count(p.path) != 0 || CountReached())
                continue;
            auto slot = std::make_unique<Slot>();
            Slot* raw = slot.get();
            slot->worker = std::thread([this, raw, p] {
                Flash(p.path, p.number);
                raw->done = true;
            });
            slots_.emplace(p.path, std::move(slot));
        }
    }

    // Whether a port came back while its worker ran: the ports are then
    // looked at again at each turn, until that worker has ended.
    bool AwaitsAReturn() const {
        return std::any_of(slots_.begin(), slots_.end(),
                           [](const auto& slot) { return slot.second->returned; });
    }

    void Finish() {
        for (auto& [path, slot] : slots_)
            if (slot->worker.joinable())
                slot->worker.join();
        slots_.clear();
    }

    // --count N: N boards flashed (updated or failed); no new board is
    // taken after that, and the station ends once the last one is done.
    bool CountReached() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return s_.args.count > 0 && static_cast<unsigned>(updated + failed) >= s_.args.count;
    }

    int updated = 0, failed = 0, skipped = 0;
    Json results = Json::array();

  private:
    struct Slot {
        std::thread worker;
        std::atomic<bool> done{false};
        bool gone = false;      // pulled out since it was taken
        bool returned = false;  // and plugged in again
    };

    bool Stopping() const { return s_.hold && s_.hold->HeldSignal() != 0; }

    // The steps of one board: a stop signal before anything is sent passes
    // it over; a line says the upload begins, and the board's own progress
    // lines follow it (every 10%, labelled with the board: the station's
    // boards come and go, so no bar is redrawn in place).
    class BoardSteps : public flash::FlashSteps {
      public:
        BoardSteps(Station& station, std::string board, std::string change)
            : station_(station), board_(std::move(board)), change_(std::move(change)) {}
        bool StopRequested() override { return station_.Stopping(); }
        ui::ProgressBar* UploadBegins(const Found&, uint64_t bytes) override {
            began = Clock::now();
            station_.Say(board_ + ": flashing " + change_);
            const auto* run = dynamic_cast<const ConsoleProgressBar*>(station_.s_.progress);
            if (run == nullptr || run->Style() == ProgressStyle::Off)
                return nullptr;
            bar_ = std::make_unique<ConsoleProgressBar>(
                run->Stream(),
                run->Style() == ProgressStyle::Json ? ProgressStyle::Json : ProgressStyle::Lines);
            bar_->SetLabel(board_);
            bar_->Begin(bytes);
            return bar_.get();
        }
        void UploadEnds(bool completed) override {
            ended = Clock::now();
            if (bar_)
                bar_->End(completed);
        }

        std::optional<Clock::time_point> began, ended;

      private:
        Station& station_;
        std::string board_;
        std::string change_;
        std::unique_ptr<ConsoleProgressBar> bar_;
    };

    void Say(const std::string& line) {
        const std::lock_guard<std::mutex> lock(mutex_);
        s_.Say("%s", line.c_str());
    }

    void Flash(const std::string& path, int port) {
        const Clock::time_point started = Clock::now();
        BKQuillex device;
        Found found;
        for (int i = 0; i < kSettleProbes && !Stopping(); ++i) {
            if (i > 0)
                std::this_thread::sleep_for(kSettlePause);
            found = ProbePath(device, path, port);
            if (found.flags != 0)
                break;
            device.ClosePort();
        }
        const platform::PortFacts facts = platform::DescribePort(path);
        Json entry = {{"schema", kLogSchema}, {"time", UtcNow()}, {"host", host_}, {"path", path}};
        if (port < platform::kMaxPortNumber)
            entry["com"] = platform::PortTable::ComName(port);
        if (!facts.stableNames.empty())
            entry["stable_name"] = facts.stableNames.front();
        if (!facts.serialNumber.empty())
            entry["serial_number"] = facts.serialNumber;
        if (!facts.usbPath.empty())
            entry["usb_path"] = facts.usbPath;
        entry["package"] = {{"file", s_.args.operands.at(0)},
                            {"sha256", packageSha256_},
                            {"signature", flash::SignatureStateName(s_.trust.state)}};
        if (s_.trust.state == flash::SignatureState::Signed)
            entry["package"]["key"] = s_.trust.keyName + " " + s_.trust.keyFingerprint;
        entry["to"] = flash::PackageVersion(package_.header);
        // A board is known again by its USB serial number and the package's
        // version: serial numbers are not unique, so a board with a serial
        // flashed before that reports another version is another board (or
        // one whose flash did not take), and is flashed. One without a serial
        // is told by its version alone, which a flash has changed.
        const std::string identity = facts.serialNumber;
        flash::FlashResult flashed;
        std::optional<Clock::time_point> uploadBegan, uploadEnded;
        if (found.flags != 0) {
            entry["device"] = found.description;
            entry["from"] = DeviceVersionText(found.version);
        }
        const bool flashedBefore = !identity.empty() && FlashedBefore(identity);
        // A board whose flash failed in this run may report the package's
        // version already: its retry is let through as a reinstall.
        const std::string retryKey = identity.empty() ? path : identity;
        flash::FlashOptions options = FlashOptionsOf(s_);
        if (FailedBefore(retryKey))
            options.policy.allowReinstall = true;
        const bool hasThePackage = found.version.Major == package_.header.Major() &&
                                   found.version.Minor == package_.header.Minor();
        if (found.flags != 0 && flashedBefore && !hasThePackage)
            entry["warning"] = "usb:" + identity + " was flashed in this run and now shows " +
                               entry["from"].get<std::string>() +
                               ": another board with the same USB serial number";
        if (found.flags != 0 && flashedBefore && hasThePackage && !s_.args.reflash) {
            flashed.outcome = flash::Outcome::SameVersion;
            flashed.message = "already flashed in this run (--reflash flashes it again)";
        } else {
            BoardSteps steps(
                *this, BoardName(facts, path, port),
                DeviceVersionText(found.version) + " -> " + flash::PackageVersion(package_.header));
            flashed = flash::Flash(device, found, package_, options, steps);
            uploadBegan = steps.began;
            uploadEnded = steps.ended;
        }
        device.ClosePort();
        AddOutcome(flashed, s_.args.fast, &entry);
        const Clock::time_point done = Clock::now();
        entry["seconds"] = Seconds(done - started);
        // Before the upload (finding, checks), the upload, the read-back.
        const Clock::time_point began = uploadBegan.value_or(done);
        const Clock::time_point ended = uploadEnded.value_or(began);
        entry["stages"] = {{"detect", Seconds(began - started)},
                           {"upload", Seconds(ended - began)},
                           {"read_back", Seconds(done - ended)}};
        entry["error_class"] = ErrorClass(flashed.outcome);
        Report(entry, BoardName(facts, path, port), identity, retryKey, flashed);
    }

    // A board as the bench knows it: by its USB serial number, else its
    // USB socket, with its COM name and path beside.
    static std::string BoardName(const platform::PortFacts& facts, const std::string& path,
                                 int port) {
        std::string where = path;
        if (port < platform::kMaxPortNumber)
            where = platform::PortTable::ComName(port) + " " + where;
        if (!facts.serialNumber.empty())
            return "usb:" + PrintableText(facts.serialNumber) + " (" + where + ")";
        if (!facts.usbPath.empty())
            return "usb-path:" + PrintableText(facts.usbPath) + " (" + where + ")";
        return where;
    }

    bool FlashedBefore(const std::string& identity) {
        const std::lock_guard<std::mutex> lock(mutex_);
        return flashed_.count(identity) != 0;
    }

    bool FailedBefore(const std::string& key) {
        const std::lock_guard<std::mutex> lock(mutex_);
        return failed_.count(key) != 0;
    }

    // How the station counts an outcome, and the log's "result" for it.
    struct Tally {
        const char* result;
        int Station::*count;
        const char* label;  // the result line's
    };
    static Tally TallyOf(flash::Outcome outcome) {
        using flash::Outcome;
        switch (outcome) {
            case Outcome::Updated:
                return {"updated", &Station::updated, "UPDATED"};
            case Outcome::NoDevice:
                return {"no_device", &Station::skipped, "NO DEVICE"};
            case Outcome::WouldUpdate:
            case Outcome::NotFitting:
            case Outcome::Untrusted:
            case Outcome::SameVersion:
            case Outcome::OlderVersion:
            case Outcome::Cancelled:
                return {"skipped", &Station::skipped, "SKIPPED"};
            case Outcome::PortHeld:
            case Outcome::LinkLost:
            case Outcome::UploadFailed:
            case Outcome::GoneAfterUpload:
            case Outcome::OtherVersionAfterUpload:
                break;
        }
        return {"failed", &Station::failed, "FAILED"};
    }

    // One result, whole: a line for people, the log's line, the document's
    // entry; the log's line in one write, on the disk before the next.
    void Report(Json& entry, const std::string& who, const std::string& identity,
                const std::string& retryKey, const flash::FlashResult& flashed) {
        const Tally tally = TallyOf(flashed.outcome);
        // The log's "result" is the station's count of the board; the
        // outcome beside it says what happened.
        entry["result"] = tally.result;
        const std::lock_guard<std::mutex> lock(mutex_);
        if (flashed.outcome == flash::Outcome::Updated && !identity.empty())
            flashed_.insert(identity);
        if (tally.count == &Station::failed)
            failed_.insert(retryKey);
        else if (flashed.outcome == flash::Outcome::Updated)
            failed_.erase(retryKey);
        ++(this->*tally.count);
        results.push_back(entry);
        // The result first, in capitals that a glance finds, then the
        // running tally.
        std::string said = tally.label + std::string(": ") + OutcomeLine(flashed);
        if (flashed.outcome == flash::Outcome::Updated) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.1f", entry["seconds"].get<double>());
            said = "UPDATED " + entry.value("from", std::string("?")) + " -> " + flashed.now +
                   " in " + seconds + " s";
        }
        if (entry.contains("warning"))
            s_.Say("%s: warning: %s", who.c_str(), entry["warning"].get<std::string>().c_str());
        s_.Say("%s: %s  [updated %d, failed %d, skipped %d]", who.c_str(), said.c_str(), updated,
               failed, skipped);
        if (log_ != nullptr) {
            const std::string line =
                entry.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
            if (!log_->Write(line.data(), line.size()) || !log_->Sync())
                logFailed_ = true;
        }
    }

    Session& s_;
    const Package& package_;
    platform::LogFile* log_;
    std::mutex mutex_;  // the counters, the output, the log and flashed_
    const std::string host_;
    const std::string packageSha256_;
    std::set<std::string> flashed_;
    std::set<std::string> failed_;  // boards (serial, else path) whose last flash failed
    std::map<std::string, std::unique_ptr<Slot>> slots_;

  public:
    bool logFailed_ = false;
};

}  // namespace

int WatchAndUpdate(Session& s, const Package& package) {
    std::string malformed;
    if (flash::IsPortSelector(s.args.port))
        flash::PortsSelected(s.args.port, &malformed);
    if (!malformed.empty())
        return s.Fail(kCliUsageError, malformed);
    std::unique_ptr<platform::LogFile> log;
    if (!s.args.log.empty()) {
        std::string why;
        log = platform::LogFile::Open(s.args.log.c_str(), &why, platform::LogStart::Append);
        if (!log)
            return s.Fail(kCliFileError, "the log " + s.args.log + " cannot be written: " + why);
    }
    s.HoldStopSignals(
        "brevik: stopping: no further device is taken; the uploads under way go on to their "
        "end\n");
    const std::string until =
        s.args.count > 0 ? " until " + std::to_string(s.args.count) + " are flashed" : "";
    s.Say(
        "Watching for devices to flash with %s (%s)%s; Ctrl+C stops (uploads under way finish "
        "first).",
        flash::PackageVersion(package.header).c_str(), s.trust.said.c_str(), until.c_str());
    std::fflush(s.out);
    Station station(s, package, log.get());
    // The ports are listed again only when one came or went.
    for (bool changed = true; s.hold->HeldSignal() == 0 && !station.CountReached();
         changed = s.portWatch->Wait(kLookMs) == platform::PortChange::Changed) {
        if (changed || station.AwaitsAReturn())
            station.Seen(WatchedPorts(s));
        std::fflush(s.out);
    }
    station.Finish();
    s.doc["updates"] = station.results;
    s.Say("Stopped watching: %d updated, %d failed, %d skipped.", station.updated, station.failed,
          station.skipped);
    if (station.logFailed_)
        return s.Fail(kCliFileError, "the log " + s.args.log + " could not be written whole");
    if (station.failed > 0)
        return s.Fail(kCliFailed, kNotEveryDeviceUpdated);
    return kCliSucceeded;
}

}  // namespace cli
