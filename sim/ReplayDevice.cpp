#include "sim/ReplayDevice.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

#include "sim/DeviceLines.h"

namespace sim {
namespace {

// How long the host may still speak after the last captured exchange.
constexpr int kTrailingWindowMs = 1500;

}  // namespace

bool ConversationOf(const capture::Session& session, const std::string& portName,
                    std::vector<Turn>* turns, std::string* error, bool* closed) {
    std::string name = portName;
    if (name.empty()) {
        // The device is where replies came from: the first port that read bytes.
        std::vector<std::string> names;  // by port number
        for (const capture::Event& e : session.events) {
            if (e.kind == capture::EventKind::Open) {
                names.resize(std::max<size_t>(names.size(), e.port + 1));
                names[e.port] = e.name;
            } else if (e.kind == capture::EventKind::Rx && !e.bytes.empty() &&
                       e.port < names.size()) {
                name = names[e.port];
                break;
            }
        }
        if (name.empty()) {
            *error = "no port of the capture received any bytes";
            return false;
        }
    }
    turns->clear();
    std::vector<bool> ofDevice;
    bool found = false;
    int openOfDevice = 0;  // opens of the device not closed yet
    for (const capture::Event& e : session.events) {
        if (e.kind == capture::EventKind::Open) {
            ofDevice.resize(std::max<size_t>(ofDevice.size(), e.port + 1));
            ofDevice[e.port] = e.name == name;
            found = found || e.name == name;
            openOfDevice += e.name == name ? 1 : 0;
        }
        if (e.kind == capture::EventKind::Close && e.port < ofDevice.size() && ofDevice[e.port]) {
            ofDevice[e.port] = false;
            --openOfDevice;
        }
        const bool tx = e.kind == capture::EventKind::Tx;
        if ((!tx && e.kind != capture::EventKind::Rx) || e.bytes.empty() ||
            e.port >= ofDevice.size() || !ofDevice[e.port])
            continue;
        if (turns->empty() || turns->back().fromHost != tx)
            turns->push_back({tx, {}});
        turns->back().bytes.insert(turns->back().bytes.end(), e.bytes.begin(), e.bytes.end());
    }
    if (!found) {
        *error = "the capture has no port named " + name;
        return false;
    }
    if (closed != nullptr)
        *closed = openOfDevice == 0;
    return true;
}

void MutateReplies(std::vector<Turn>* turns, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<size_t> replies;
    for (size_t i = 0; i < turns->size(); ++i) {
        if (!(*turns)[i].fromHost)
            replies.push_back(i);
    }
    if (replies.empty())
        return;
    // One to three changes, each a flipped bit or a reply cut short.
    const int changes = 1 + static_cast<int>(rng() % 3);
    for (int c = 0; c < changes; ++c) {
        std::vector<uint8_t>& bytes = (*turns)[replies[rng() % replies.size()]].bytes;
        if (bytes.empty())
            continue;
        if (rng() % 4 == 0)
            bytes.resize(rng() % bytes.size());
        else
            bytes[rng() % bytes.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
    }
}

ReplayDevice::ReplayDevice(std::vector<Turn> turns, int hostSilenceMs, bool captureClosed)
    : turns_(std::move(turns)), hostSilenceMs_(hostSilenceMs), captureClosed_(captureClosed) {}

ReplayDevice::~ReplayDevice() {
    Stop();
}

bool ReplayDevice::Start(sim::DeviceLineKind kind) {
    line_ = sim::CreateDeviceLine(kind);
    if (!line_)
        return false;
    portPath_ = line_->HostPath();
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void ReplayDevice::Stop() {
    stopping_ = true;
    if (line_)
        line_->Interrupt();
    if (thread_.joinable())
        thread_.join();
    line_.reset();
}

bool ReplayDevice::WaitUntilDone(int timeoutMs) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done_ && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done_;
}

bool ReplayDevice::Matched() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return matched_;
}

std::string ReplayDevice::Report() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return report_;
}

void ReplayDevice::Finish(bool matched, const std::string& report) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        matched_ = matched;
        report_ = report;
    }
    done_ = true;
}

bool ReplayDevice::ExpectFromHost(const std::vector<uint8_t>& expected) {
    uint8_t chunk[4096];
    size_t matched = 0;
    while (matched < expected.size()) {
        const size_t want = std::min(sizeof chunk, expected.size() - matched);
        const int n = line_->Read(chunk, want, hostSilenceMs_);
        if (n <= 0) {
            if (!stopping_) {
                Finish(false, "the host stopped sending after " +
                                  std::to_string(hostBytes_ + matched) +
                                  " bytes; the capture has " +
                                  std::to_string(expected.size() - matched) + " more in this turn");
            }
            return false;
        }
        for (int i = 0; i < n; ++i, ++matched) {
            if (chunk[i] != expected[matched]) {
                char text[160];
                std::snprintf(text, sizeof text,
                              "host byte %zu differs: the host sent 0x%02X, the capture has 0x%02X",
                              hostBytes_ + matched, chunk[i], expected[matched]);
                Finish(false, text);
                return false;
            }
        }
    }
    hostBytes_ += matched;
    return true;
}

void ReplayDevice::Serve() {
    for (const Turn& turn : turns_) {
        if (stopping_)
            return;
        if (turn.fromHost) {
            if (!ExpectFromHost(turn.bytes))
                return;
        } else if (!line_->Write(turn.bytes.data(), turn.bytes.size())) {
            Finish(false, "the line went away");
            return;
        }
    }
    // After the last captured exchange the host has nothing more to say: a
    // byte it sends then is a difference (a detection's capture must not pass
    // for a longer session). The device's end of the line cannot see the
    // host close it, so a short silence ends the wait.
    uint8_t extra[64];
    const int n = line_->Read(extra, sizeof extra, std::min(hostSilenceMs_, kTrailingWindowMs));
    if (stopping_)
        return;
    if (n > 0) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "the host sent more than the capture holds: byte %zu (0x%02X) came after "
                      "the last captured exchange",
                      hostBytes_, extra[0]);
        Finish(false, text);
        return;
    }
    if (!captureClosed_) {
        Finish(false, "the host sent all " + std::to_string(hostBytes_) +
                          " bytes of the capture, but the capture is truncated: its port was "
                          "never closed, so the session went on beyond it");
        return;
    }
    Finish(true, "the host sent all " + std::to_string(hostBytes_) +
                     " bytes of the capture and got every reply");
}

}  // namespace sim
