// Read access to a file with Windows-style sharing between openers: a file
// opened for shared reading can be opened again for shared reading, a file
// opened exclusively cannot be opened again at all, by this or another
// process (the share mode on Windows; flock-based on POSIX, so there it
// binds programs that use this class).
#pragma once

#include <cstdint>
#include <memory>

namespace platform {

enum class FileShare { Read, None };

class ReadOnlyFile {
  public:
    // Existing regular files only; null when the file cannot be opened or
    // another opener's sharing forbids it.
    static std::unique_ptr<ReadOnlyFile> Open(const char* path, FileShare share);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // Size in bytes, or -1 when it cannot be taken.
    int64_t Size() const;
    // Reads up to count bytes from the current position; false on an I/O
    // error. *got is what was read (less than count at the end of the file).
    bool Read(void* buffer, uint32_t count, uint32_t* got);

  private:
    explicit ReadOnlyFile(intptr_t handle) : handle_(handle) {}
    intptr_t handle_;  // the system's own: a descriptor or a HANDLE
};

}  // namespace platform
