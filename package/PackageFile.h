/// @file
/// Package files on disk: read once into a Package, or held for the whole of
/// an upload.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "package/Package.h"
#include "package/PackageFormat.h"

namespace platform {
class ReadOnlyFile;
}

/// Reads the file once, never waiting on a pipe or a device (regular files
/// only), without reading a file larger than any package, and runs every
/// check. Shared with other readers; a file held by an upload is InUse.
Package LoadPackage(const std::string& path);

/// A package file opened so that nobody else can open it, read once, and
/// kept so while the object lives: the form of an upload from a path.
class HeldPackageFile {
  public:
    /// Opens, holds and reads the file.
    explicit HeldPackageFile(const std::string& path);
    ~HeldPackageFile();
    HeldPackageFile(const HeldPackageFile&) = delete;
    HeldPackageFile& operator=(const HeldPackageFile&) = delete;
    /// Whether the file could be opened and held.
    bool Held() const { return file_ != nullptr; }
    /// What was read, with its checks.
    const Package& Loaded() const { return package_; }

  private:
    std::unique_ptr<platform::ReadOnlyFile> file_;
    Package package_;
};

/// Size of the file in bytes (low 32 bits); 0 for a null or empty path or a
/// file that cannot be opened.
uint32_t GetFileSizeByName(const char* path);

/// The dialog's selection check on a file: a header, the magic and the header
/// sum (LoadPackage(path).Selectable()). Whenever the file was read whole,
/// *headerCopy receives its first 256 bytes (zero-filled past the end of a
/// shorter file), valid or not.
bool CheckPackageFile(const char* path, PackageHeader* headerCopy);
