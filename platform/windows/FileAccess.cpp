#include "platform/FileAccess.h"

#include <windows.h>

namespace platform {
namespace {

HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

std::unique_ptr<ReadOnlyFile> ReadOnlyFile::Open(const char* path, FileShare share) {
    if (path == nullptr || path[0] == '\0')
        return nullptr;
    // Share mode 0 keeps every other opener out, this process included.
    const DWORD shareMode = share == FileShare::None ? 0 : FILE_SHARE_READ;
    HANDLE file = ::CreateFileA(path, GENERIC_READ, shareMode, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
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
