#include "platform/FileAccess.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform {

std::filesystem::path FilePath(const std::string& name) {
    return std::filesystem::path(name);
}

}  // namespace platform

namespace platform {
namespace {

// Writes every byte, through interruptions and short writes.
bool WriteAll(int fd, const void* bytes, size_t count) {
    const auto* at = static_cast<const uint8_t*>(bytes);
    while (count > 0) {
        const ssize_t n = ::write(fd, at, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        at += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::unique_ptr<ReadOnlyFile> ReadOnlyFile::Open(const char* path, FileShare share, bool* inUse) {
    if (inUse != nullptr)
        *inUse = false;
    if (path == nullptr || path[0] == '\0')
        return nullptr;
    // Without O_NONBLOCK, opening a named pipe waits for a writer, for ever
    // if none comes: open without waiting, refuse what is not a regular
    // file, and only then read in blocking mode.
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    // Shared readers hold a shared lock, an exclusive opener an exclusive
    // one: each refuses the other, as the sharing modes of Windows do.
    const int lock = share == FileShare::None ? LOCK_EX : LOCK_SH;
    if (::flock(fd, lock | LOCK_NB) != 0) {
        if (inUse != nullptr)
            *inUse = errno == EWOULDBLOCK;
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<ReadOnlyFile>(new ReadOnlyFile(fd));
}

ReadOnlyFile::~ReadOnlyFile() {
    ::close(static_cast<int>(handle_));
}

int64_t ReadOnlyFile::Size() const {
    struct stat st {};
    if (::fstat(static_cast<int>(handle_), &st) != 0)
        return -1;
    return st.st_size;
}

bool ReadOnlyFile::Read(void* buffer, uint32_t count, uint32_t* got) {
    uint32_t done = 0;
    bool ok = true;
    while (done < count) {
        ssize_t n =
            ::read(static_cast<int>(handle_), static_cast<uint8_t*>(buffer) + done, count - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            ok = false;
            break;
        }
    }
    if (got != nullptr)
        *got = done;
    return ok;
}

}  // namespace platform

namespace platform {

std::unique_ptr<NewFile> NewFile::Create(const char* path) {
    if (path == nullptr || path[0] == '\0')
        return nullptr;
    int fd;
    do {
        // O_EXCL with O_CREAT never follows a link at the name and fails on
        // anything that is there.
        fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return nullptr;
    return std::unique_ptr<NewFile>(new NewFile(fd, path));
}

NewFile::~NewFile() {
    Close();
}

bool NewFile::Write(const void* bytes, size_t count) {
    return Open() && WriteAll(static_cast<int>(handle_), bytes, count);
}

bool NewFile::Close() {
    if (!Open())
        return false;
    struct stat made {};
    const bool known = ::fstat(static_cast<int>(handle_), &made) == 0;
    volume_ = known ? made.st_dev : 0;
    index_ = known ? made.st_ino : 0;
    const bool closed = ::close(static_cast<int>(handle_)) == 0;
    handle_ = kClosed;
    return closed && known;
}

bool NewFile::StillOurs() const {
    struct stat named {};
    return index_ != 0 && ::lstat(path_.c_str(), &named) == 0 && named.st_dev == volume_ &&
           named.st_ino == index_;
}

bool NewFile::Remove() {
    Close();
    if (!StillOurs())
        return false;
    index_ = 0;
    return ::unlink(path_.c_str()) == 0;
}

bool NewFile::Replace(const char* target) {
    // On the disk before the name moves: a crash then leaves the old file
    // or the new one, never an empty one.
    if (!Open() || ::fsync(static_cast<int>(handle_)) != 0 || !Close() || !StillOurs())
        return false;
    if (::rename(path_.c_str(), target) != 0)
        return false;
    index_ = 0;
    return true;
}

}  // namespace platform

namespace platform {

std::unique_ptr<LogFile> LogFile::Open(const char* path, std::string* why, LogStart start) {
    auto refuse = [why](const char* reason) {
        if (why != nullptr)
            *why = reason;
        return nullptr;
    };
    if (path == nullptr || path[0] == '\0')
        return refuse("no file name");
    int fd;
    do {
        // O_NONBLOCK: a pipe without a reader fails at once instead of
        // waiting for one; O_NOFOLLOW: a link at the name is refused.
        fd = ::open(path,
                    O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                        (start == LogStart::Append ? O_APPEND : 0),
                    0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return refuse(errno == ELOOP   ? "a symbolic link (not followed)"
                      : errno == ENXIO ? "a pipe or device, not a regular file"
                                       : std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return refuse("a pipe or device, not a regular file");
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        (start == LogStart::Empty && ::ftruncate(fd, 0) != 0)) {
        const char* reason = std::strerror(errno);
        ::close(fd);
        return refuse(reason);
    }
    return std::unique_ptr<LogFile>(new LogFile(fd));
}

LogFile::~LogFile() {
    ::close(static_cast<int>(handle_));
}

bool LogFile::Write(const void* bytes, size_t count) {
    return WriteAll(static_cast<int>(handle_), bytes, count);
}

bool LogFile::Sync() {
    return ::fdatasync(static_cast<int>(handle_)) == 0;
}

}  // namespace platform

namespace platform {

std::optional<FileStamp> StampOfFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    // The change time moves too when a file is written in place within the
    // modification time's tick.
    const int64_t modified = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
    const int64_t changed = int64_t{st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec;
    return FileStamp{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                     static_cast<uint64_t>(st.st_size), std::max(modified, changed)};
}

}  // namespace platform
