#include "diagnostics/capture/CaptureFile.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
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
            return true;
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
            if (!(in >> word) || !ParseUnsigned(word, 10, &e->requested))
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
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%.6f %u ", e.seconds, e.port);
    std::string text = stamp;
    text += KindWord(e.kind);
    switch (e.kind) {
        case EventKind::Open:
            text += " " + e.name;
            break;
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
        Event e;
        if (!(in >> e.seconds >> e.port) || !ParseEventRest(in, &e)) {
            *error = "line " + std::to_string(number) + ": cannot be read: " + line;
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
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": cannot be read";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return ParseCapture(text.str(), session, error);
}

std::unique_ptr<CaptureWriter> CaptureWriter::Create(const std::string& path,
                                                     const std::string& program) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr)
        return nullptr;
    std::fprintf(file, "%s\nprogram %s\n", kHeader, program.c_str());
    return std::unique_ptr<CaptureWriter>(new CaptureWriter(file));
}

CaptureWriter::CaptureWriter(std::FILE* file) : file_(file), startNs_(NowNs()) {}

CaptureWriter::~CaptureWriter() {
    std::fclose(file_);
}

void CaptureWriter::Put(Event event) {
    std::lock_guard<std::mutex> lock(mutex_);
    event.seconds = static_cast<double>(NowNs() - startNs_) / 1e9;
    const std::string line = FormatEvent(event);
    std::fputs(line.c_str(), file_);
    std::fputc('\n', file_);
    // A capture is most wanted after a crash or a hang: every closed port
    // reaches the disk.
    if (event.kind == EventKind::Close)
        std::fflush(file_);
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
    writer_ = CaptureWriter::Create(path, program);
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
