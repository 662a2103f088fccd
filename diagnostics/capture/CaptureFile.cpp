#include "diagnostics/capture/CaptureFile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale>
#include <memory>
#include <sstream>

#include "platform/SerialPort.h"

namespace capture {
namespace {

constexpr const char* kHeader = "# brevik serial capture 1";

const char* KindWord(EventKind kind) {
    switch (kind) {
        case EventKind::Open:
            return "open";
        case EventKind::Close:
            return "close";
        case EventKind::Line:
            return "line";
        case EventKind::Timeouts:
            return "timeouts";
        case EventKind::Purge:
            return "purge";
        case EventKind::Tx:
            return "tx";
        case EventKind::Rx:
            return "rx";
    }
    return "?";
}

bool KindOfWord(const std::string& word, EventKind* kind) {
    for (EventKind k : {EventKind::Open, EventKind::Close, EventKind::Line, EventKind::Timeouts,
                        EventKind::Purge, EventKind::Tx, EventKind::Rx}) {
        if (word == KindWord(k)) {
            *kind = k;
            return true;
        }
    }
    return false;
}

void AppendHex(std::string* text, const std::vector<uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (uint8_t b : bytes) {
        text->push_back(' ');
        text->push_back(kDigits[b >> 4]);
        text->push_back(kDigits[b & 0xF]);
    }
}

bool ParseHexByte(const std::string& word, uint8_t* byte) {
    if (word.size() != 2 || !std::isxdigit(static_cast<unsigned char>(word[0])) ||
        !std::isxdigit(static_cast<unsigned char>(word[1])))
        return false;
    *byte = static_cast<uint8_t>(std::stoul(word, nullptr, 16));
    return true;
}

bool ParseUnsigned(const std::string& word, int base, uint32_t* value) {
    if (word.empty() || word.size() > 10)
        return false;
    for (char c : word) {
        if (base == 10 ? !std::isdigit(static_cast<unsigned char>(c))
                       : !std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    }
    const unsigned long long v = std::stoull(word, nullptr, base);
    if (v > 0xFFFFFFFFull)
        return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

bool IsControlByte(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

// Seconds since the start, "S.UUUUUU" in any locale: finite, not negative.
bool ParseSeconds(const std::string& word, double* seconds) {
    if (word.empty() || word.size() > 20 || !std::isdigit(static_cast<unsigned char>(word[0])))
        return false;
    double value = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    // Up to some 30 years: a session is never longer, and the writer's
    // microseconds must fit their integer.
    if (ec != std::errc() || end != word.data() + word.size() || !std::isfinite(value) ||
        value > 1e9)
        return false;
    *seconds = value;
    return true;
}

std::string Framing(const platform::LineState& state) {
    static constexpr char kParity[] = {'N', 'O', 'E'};
    std::string text = std::to_string(state.ByteSize);
    text.push_back(state.Parity < 3 ? kParity[state.Parity] : '?');
    text += state.StopBits == platform::kTwoStopBits ? "2" : "1";
    return text;
}

// One event line after the time stamp and the port; false when malformed.
bool ParseEventRest(std::istringstream& in, Event* e) {
    std::string word;
    if (!(in >> word) || !KindOfWord(word, &e->kind))
        return false;
    switch (e->kind) {
        case EventKind::Open:
            in >> std::ws;
            std::getline(in, e->name);
            // The writer never puts a control character into a name.
            return std::none_of(e->name.begin(), e->name.end(), IsControlByte);
        case EventKind::Close:
            return true;
        case EventKind::Line:
            return (in >> word) && ParseUnsigned(word, 10, &e->baud) && (in >> e->framing);
        case EventKind::Timeouts:
            for (uint32_t& v : e->values) {
                if (!(in >> word) || !ParseUnsigned(word, 10, &v))
                    return false;
            }
            return true;
        case EventKind::Purge:
            return (in >> word) && ParseUnsigned(word, 16, &e->values[0]);
        case EventKind::Rx:
            if (!(in >> word) || !ParseUnsigned(word, 10, &e->requested) ||
                e->requested > kMaxCaptureRead)
                return false;
            [[fallthrough]];
        case EventKind::Tx:
            while (in >> word) {
                uint8_t b;
                if (!ParseHexByte(word, &b))
                    return false;
                e->bytes.push_back(b);
            }
            return e->kind == EventKind::Tx ? !e->bytes.empty() : e->bytes.size() <= e->requested;
    }
    return false;
}

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

std::string FormatEvent(const Event& e) {
    // Microseconds as integers: printf's %f would write the locale's decimal
    // comma under a program (the dialog) that sets one.
    const long long micros = std::llround(std::max(0.0, e.seconds) * 1e6);
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%lld.%06lld %u ", micros / 1000000, micros % 1000000,
                  e.port);
    std::string text = stamp;
    text += KindWord(e.kind);
    switch (e.kind) {
        case EventKind::Open: {
            // A name is the rest of its line: a control character in it
            // (a carriage return, say) would not read back as written.
            std::string name = e.name;
            std::replace_if(name.begin(), name.end(), IsControlByte, '?');
            text += " " + name;
            break;
        }
        case EventKind::Close:
            break;
        case EventKind::Line:
            text += " " + std::to_string(e.baud) + " " + e.framing;
            break;
        case EventKind::Timeouts:
            for (uint32_t v : e.values)
                text += " " + std::to_string(v);
            break;
        case EventKind::Purge: {
            char flags[16];
            std::snprintf(flags, sizeof flags, " %02X", e.values[0]);
            text += flags;
            break;
        }
        case EventKind::Rx:
            text += " " + std::to_string(e.requested);
            AppendHex(&text, e.bytes);
            break;
        case EventKind::Tx:
            AppendHex(&text, e.bytes);
            break;
    }
    return text;
}

bool ParseCapture(const std::string& text, Session* session, std::string* error) {
    *session = Session{};
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    bool sawHeader = false;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        if (line[0] == '#') {
            sawHeader = sawHeader || line == kHeader;
            continue;
        }
        if (!sawHeader) {
            *error = "line " + std::to_string(number) + ": not a brevik serial capture";
            return false;
        }
        if (line.rfind("program ", 0) == 0) {
            session->program = line.substr(8);
            continue;
        }
        std::istringstream in(line);
        in.imbue(std::locale::classic());
        Event e;
        std::string stamp, port;
        if (!(in >> stamp >> port) || !ParseSeconds(stamp, &e.seconds) ||
            !ParseUnsigned(port, 10, &e.port) || e.port > kMaxCapturePort ||
            !ParseEventRest(in, &e)) {
            *error = "line " + std::to_string(number) + ": cannot be read: " + line.substr(0, 200);
            return false;
        }
        session->events.push_back(std::move(e));
    }
    if (!sawHeader) {
        *error = "not a brevik serial capture";
        return false;
    }
    return true;
}

bool ReadCaptureFile(const std::string& path, Session* session, std::string* error) {
    // A regular file of a bounded size: never a pipe or /dev/zero read until
    // memory runs out.
    auto file = platform::ReadOnlyFile::Open(path.c_str(), platform::FileShare::Read);
    const int64_t size = file ? file->Size() : -1;
    if (size < 0) {
        *error = path + ": cannot be read (a regular file is needed)";
        return false;
    }
    if (static_cast<uint64_t>(size) > kMaxCaptureFile) {
        *error =
            path + ": larger than any capture (" + std::to_string(kMaxCaptureFile >> 20) + " MiB)";
        return false;
    }
    std::string text(static_cast<size_t>(size), '\0');
    uint32_t got = 0;
    if (!file->Read(text.data(), static_cast<uint32_t>(size), &got)) {
        *error = path + ": cannot be read";
        return false;
    }
    text.resize(got);
    return ParseCapture(text, session, error);
}

std::unique_ptr<CaptureWriter> CaptureWriter::Create(const std::string& path,
                                                     const std::string& program, std::string* why) {
    std::unique_ptr<platform::LogFile> file = platform::LogFile::Open(path.c_str(), why);
    if (!file)
        return nullptr;
    const std::string head = std::string(kHeader) + "\nprogram " + program + "\n";
    if (!file->Write(head.data(), head.size())) {
        if (why != nullptr)
            *why = "cannot be written";
        return nullptr;
    }
    return std::unique_ptr<CaptureWriter>(new CaptureWriter(std::move(file)));
}

CaptureWriter::CaptureWriter(std::unique_ptr<platform::LogFile> file)
    : file_(std::move(file)), startNs_(NowNs()) {}

CaptureWriter::~CaptureWriter() = default;

void CaptureWriter::Put(Event event) {
    std::lock_guard<std::mutex> lock(mutex_);
    event.seconds = static_cast<double>(NowNs() - startNs_) / 1e9;
    // A capture is most wanted after a crash or a hang: each line goes to
    // the file whole, as it happens.
    const std::string line = FormatEvent(event) + "\n";
    if (!failed_ && !file_->Write(line.data(), line.size()))
        failed_ = true;
}

void CaptureWriter::Opened(unsigned port, const char* name) {
    Event e;
    e.port = port;
    e.kind = EventKind::Open;
    e.name = name;
    Put(std::move(e));
}

void CaptureWriter::Closed(unsigned port) {
    Event e;
    e.port = port;
    e.kind = EventKind::Close;
    Put(std::move(e));
}

void CaptureWriter::StateSet(unsigned port, const platform::LineState& state) {
    Event e;
    e.port = port;
    e.kind = EventKind::Line;
    e.baud = state.BaudRate;
    e.framing = Framing(state);
    Put(std::move(e));
}

void CaptureWriter::TimeoutsSet(unsigned port, const platform::Timeouts& t) {
    Event e;
    e.port = port;
    e.kind = EventKind::Timeouts;
    const uint32_t values[5] = {t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                                t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                                t.WriteTotalTimeoutConstant};
    std::memcpy(e.values, values, sizeof values);
    Put(std::move(e));
}

void CaptureWriter::Purged(unsigned port, unsigned flags) {
    Event e;
    e.port = port;
    e.kind = EventKind::Purge;
    e.values[0] = flags;
    Put(std::move(e));
}

void CaptureWriter::Wrote(unsigned port, const uint8_t* bytes, uint32_t count) {
    Event e;
    e.port = port;
    e.kind = EventKind::Tx;
    e.bytes.assign(bytes, bytes + count);
    Put(std::move(e));
}

void CaptureWriter::ReadDone(unsigned port, const uint8_t* bytes, uint32_t count,
                             uint32_t requested) {
    Event e;
    e.port = port;
    e.kind = EventKind::Rx;
    e.requested = requested;
    if (count > 0)
        e.bytes.assign(bytes, bytes + count);
    Put(std::move(e));
}

ScopedCapture::ScopedCapture(const std::string& path, const std::string& program) {
    if (path.empty())
        return;
    writer_ = CaptureWriter::Create(path, program, &problem_);
    ok_ = writer_ != nullptr;
    platform::SerialPort::InstallTap(writer_.get());
}

ScopedCapture::~ScopedCapture() {
    if (writer_)
        platform::SerialPort::InstallTap(nullptr);
}

std::string CapturePathFromEnvironment() {
    const char* path = std::getenv("BREVIK_CAPTURE");
    return path != nullptr ? path : "";
}

}  // namespace capture
