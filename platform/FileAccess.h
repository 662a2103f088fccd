/// @file
/// Read access to a file with Windows-style sharing between openers: a file
/// opened for shared reading can be opened again for shared reading, a file
/// opened exclusively cannot be opened again at all, by this or another
/// process (the share mode on Windows; flock-based on POSIX, so there it
/// binds programs that use this class).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace platform {

/// A file name of the programs (UTF-8 on Windows, the bytes given on POSIX)
/// as the standard library's path; on Windows a plain std::string would be
/// read in the ANSI code page and name another file.
std::filesystem::path FilePath(const std::string& name);

/// What others may do with a file while it is open here: read it; nothing;
/// or anything, writing, renaming and removing included (a file another
/// program keeps making anew, which must never fail for our reading it).
enum class FileShare { Read, None, Anything };

/// An existing regular file, opened for reading.
class ReadOnlyFile {
  public:
    /// Existing regular files only; null when the file cannot be opened or
    /// another opener's sharing forbids it (then *inUse, when given, is set).
    static std::unique_ptr<ReadOnlyFile> Open(const char* path, FileShare share,
                                              bool* inUse = nullptr);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    /// Size in bytes, or -1 when it cannot be taken.
    int64_t Size() const;
    /// Reads up to count bytes from the current position; false on an I/O
    /// error. *got is what was read (less than count at the end of the file).
    bool Read(void* buffer, uint32_t count, uint32_t* got);

  private:
    explicit ReadOnlyFile(intptr_t handle) : handle_(handle) {}
    intptr_t handle_;  ///< the system's own: a descriptor or a HANDLE
};

}  // namespace platform

namespace platform {

/// A file this program makes and may remove again, never one that was there
/// before: creation fails when anything exists at the name (a file, a link
/// someone planted), and Remove deletes the name only while it still is the
/// file made here.
class NewFile {
  public:
    /// Makes the file; null when anything is at the name or it cannot be made.
    static std::unique_ptr<NewFile> Create(const char* path);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    /// Writes all of bytes; false when the system took less.
    bool Write(const void* bytes, size_t count);
    /// Ends the writing; others can then open the file as they like.
    bool Close();
    /// Deletes the file (closing it first); false when the name no longer
    /// is the file made here.
    bool Remove();
    /// Puts the file, its bytes on the disk, in the place of target (closing
    /// it first): whatever was at target is replaced in one step, never left
    /// half written. False, with target as it was, when the name no longer is
    /// the file made here or the system refuses; afterwards the file is no
    /// longer this object's to remove.
    bool Replace(const char* target);

  private:
    NewFile(intptr_t handle, const char* path) : handle_(handle), path_(path) {}
    bool Open() const { return handle_ != kClosed; }
    /// The name still is the file made here (after Close).
    bool StillOurs() const;
    static constexpr intptr_t kClosed = -1;
    intptr_t handle_;
    std::string path_;
    /// What identifies the file on its volume once it is closed.
    uint64_t volume_ = 0;
    uint64_t index_ = 0;
};

}  // namespace platform

namespace platform {

/// A file written line by line, for logs and captures: an existing regular
/// file (emptied first, or added to) or a new one. A link at the name is not
/// followed and a pipe or device is refused at once, never waited on. Each
/// Write goes to the system straight away, so a program killed half way
/// leaves every line written before it; added to, each Write lands whole at
/// the end, also with other writers.
/// Whether a log file is emptied or added to.
enum class LogStart { Empty, Append };
/// The log file; see above.
class LogFile {
  public:
    /// Null when the file cannot be opened or is not a regular file; then
    /// *why, when given, says which.
    static std::unique_ptr<LogFile> Open(const char* path, std::string* why = nullptr,
                                         LogStart start = LogStart::Empty);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    /// Writes all bytes; false when the system took less (a full disk, an
    /// I/O error).
    bool Write(const void* bytes, size_t count);
    /// Puts what was written on the disk: a power cut then loses nothing of it.
    bool Sync();

  private:
    explicit LogFile(intptr_t handle) : handle_(handle) {}
    intptr_t handle_;
};

/// What tells one version of a file from the next without reading it: the
/// file itself (a new one renamed over the name is another), its size and
/// its last write time, to the system's full precision (the standard
/// library's is a whole second on Windows).
struct FileStamp {
    uint64_t volume = 0;    ///< the device or volume the file is on
    uint64_t file = 0;      ///< the file's number there (inode, file index)
    uint64_t size = 0;      ///< in bytes
    int64_t writeTime = 0;  ///< in the system's own unit
    /// The same version of the same file.
    bool operator==(const FileStamp&) const = default;
};

/// The stamp of the regular file at path; none when there is none (or it
/// cannot be looked at). Opens nothing that could block, and keeps nobody
/// from writing, renaming or removing the file.
std::optional<FileStamp> StampOfFile(const std::string& path);

}  // namespace platform
