#include "platform/FileAccess.h"

#include <windows.h>

#include "platform/windows/WideText.h"

namespace platform {

std::filesystem::path FilePath(const std::string& name) {
    return std::filesystem::path(WideText(name.c_str()));
}

}  // namespace platform

namespace platform {
namespace {

HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Writes every byte, in pieces a DWORD can count.
bool WriteAll(HANDLE file, const void* bytes, size_t count) {
    const auto* at = static_cast<const uint8_t*>(bytes);
    while (count > 0) {
        DWORD n = 0;
        const DWORD chunk = count > 0x10000000 ? 0x10000000 : static_cast<DWORD>(count);
        if (!::WriteFile(file, at, chunk, &n, nullptr) || n == 0)
            return false;
        at += n;
        count -= n;
    }
    return true;
}

}  // namespace

std::unique_ptr<ReadOnlyFile> ReadOnlyFile::Open(const char* path, FileShare share, bool* inUse) {
    if (inUse != nullptr)
        *inUse = false;
    if (path == nullptr || path[0] == '\0')
        return nullptr;
    // Share mode 0 keeps every other opener out, this process included.
    const DWORD shareMode = share == FileShare::None ? 0
                            : share == FileShare::Anything
                                ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
                                : FILE_SHARE_READ;
    HANDLE file = ::CreateFileW(WideText(path).c_str(), GENERIC_READ, shareMode, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (inUse != nullptr)
            *inUse = ::GetLastError() == ERROR_SHARING_VIOLATION;
        return nullptr;
    }
    // A pipe or a device would block a read for ever: disk files only.
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        return nullptr;
    }
    return std::unique_ptr<ReadOnlyFile>(new ReadOnlyFile(reinterpret_cast<intptr_t>(file)));
}

ReadOnlyFile::~ReadOnlyFile() {
    ::CloseHandle(AsHandle(handle_));
}

int64_t ReadOnlyFile::Size() const {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(AsHandle(handle_), &size))
        return -1;
    return size.QuadPart;
}

bool ReadOnlyFile::Read(void* buffer, uint32_t count, uint32_t* got) {
    uint32_t done = 0;
    bool ok = true;
    while (done < count) {
        DWORD n = 0;
        if (!::ReadFile(AsHandle(handle_), static_cast<uint8_t*>(buffer) + done, count - done, &n,
                        nullptr)) {
            ok = false;
            break;
        }
        if (n == 0)
            break;
        done += n;
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
    // CREATE_NEW fails on anything at the name, a link included.
    HANDLE file = ::CreateFileW(WideText(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::unique_ptr<NewFile>(new NewFile(reinterpret_cast<intptr_t>(file), path));
}

NewFile::~NewFile() {
    Close();
}

bool NewFile::Write(const void* bytes, size_t count) {
    return Open() && WriteAll(AsHandle(handle_), bytes, count);
}

namespace {

bool IdentityOf(HANDLE file, uint64_t* volume, uint64_t* index) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file, &info))
        return false;
    *volume = info.dwVolumeSerialNumber;
    *index = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return true;
}

}  // namespace

bool NewFile::Close() {
    if (!Open())
        return false;
    const bool known = IdentityOf(AsHandle(handle_), &volume_, &index_);
    const bool closed = ::CloseHandle(AsHandle(handle_)) != 0;
    handle_ = kClosed;
    return closed && known;
}

bool NewFile::StillOurs() const {
    HANDLE file = ::CreateFileW(WideText(path_.c_str()).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    uint64_t volume = 0, index = 0;
    const bool ours =
        index_ != 0 && IdentityOf(file, &volume, &index) && volume == volume_ && index == index_;
    ::CloseHandle(file);
    return ours;
}

bool NewFile::Remove() {
    Close();
    // The name as it is now, a link not followed; deleted through this
    // handle only while it is the file made here.
    HANDLE file = ::CreateFileW(WideText(path_.c_str()).c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    uint64_t volume = 0, index = 0;
    bool removed = false;
    if (IdentityOf(file, &volume, &index) && volume == volume_ && index == index_) {
        FILE_DISPOSITION_INFO disposition{TRUE};
        removed = ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                               sizeof disposition) != 0;
    }
    ::CloseHandle(file);
    return removed;
}

bool NewFile::Replace(const char* target) {
    if (!Open() || !::FlushFileBuffers(AsHandle(handle_)) || !Close() || !StillOurs())
        return false;
    if (!::MoveFileExW(WideText(path_.c_str()).c_str(), WideText(target).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
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
    // The name itself, a link not followed: a reparse point is refused below.
    // Appending: with FILE_APPEND_DATA alone every write goes to the end.
    const DWORD access = start == LogStart::Append
                             ? FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE
                             : GENERIC_WRITE;
    HANDLE file =
        ::CreateFileW(WideText(path).c_str(), access,
                      FILE_SHARE_READ | (start == LogStart::Append ? FILE_SHARE_WRITE : 0), nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return refuse("cannot be opened for writing");
    FILE_ATTRIBUTE_TAG_INFO tag{};
    const bool link =
        ::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) &&
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (::GetFileType(file) != FILE_TYPE_DISK || link) {
        ::CloseHandle(file);
        return refuse(link ? "a symbolic link (not followed)"
                           : "a pipe or device, not a regular file");
    }
    if (start == LogStart::Empty && !::SetEndOfFile(file)) {
        ::CloseHandle(file);
        return refuse("cannot be emptied");
    }
    return std::unique_ptr<LogFile>(new LogFile(reinterpret_cast<intptr_t>(file)));
}

LogFile::~LogFile() {
    ::CloseHandle(AsHandle(handle_));
}

bool LogFile::Write(const void* bytes, size_t count) {
    return WriteAll(AsHandle(handle_), bytes, count);
}

bool LogFile::Sync() {
    return ::FlushFileBuffers(AsHandle(handle_)) != 0;
}

}  // namespace platform

namespace platform {

std::optional<FileStamp> StampOfFile(const std::string& path) {
    // No access asked for, every sharing allowed: the maker of the file is
    // never kept from it; a folder opens only with backup semantics, which
    // is not asked for.
    HANDLE file = ::CreateFileW(WideText(path.c_str()).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known =
        ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    if (!known)
        return std::nullopt;
    auto wide = [](DWORD high, DWORD low) { return uint64_t{high} << 32 | low; };
    return FileStamp{info.dwVolumeSerialNumber, wide(info.nFileIndexHigh, info.nFileIndexLow),
                     wide(info.nFileSizeHigh, info.nFileSizeLow),
                     static_cast<int64_t>(wide(info.ftLastWriteTime.dwHighDateTime,
                                               info.ftLastWriteTime.dwLowDateTime))};
}

}  // namespace platform
