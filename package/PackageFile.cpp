#include "package/PackageFile.h"

#include <filesystem>
#include <utility>
#include <vector>

#include "platform/FileAccess.h"

namespace {

// What kind of thing is at the path, before anything opens it.
Package::Access AccessOf(const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(platform::FilePath(path), ec);
    if (ec || !std::filesystem::exists(status))
        return Package::Access::Missing;
    if (std::filesystem::is_directory(status))
        return Package::Access::Directory;
    if (!std::filesystem::is_regular_file(status))
        return Package::Access::NotARegularFile;
    return Package::Access::Readable;
}

Package Unread(Package::Access access, uint64_t size = 0) {
    Package p;
    p.access = access;
    p.size = size;
    return p;
}

// The whole file, when no larger than any package; the whole size counts:
// cut to its low 32 bits, a file of 4 GiB and N bytes would pass for N.
Package ReadOpenFile(platform::ReadOnlyFile& file) {
    const int64_t size = file.Size();
    if (size < 0)
        return Unread(Package::Access::Unreadable);
    if (size == 0 || static_cast<uint64_t>(size) > kLargestPackageFile)
        return Unread(Package::Access::Readable, static_cast<uint64_t>(size));
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    uint32_t got = 0;
    if (!file.Read(bytes.data(), static_cast<uint32_t>(bytes.size()), &got) || got != bytes.size())
        return Unread(Package::Access::Unreadable);
    return PackageFromBytes(std::move(bytes));
}

Package Load(const std::string& path, platform::FileShare share,
             std::unique_ptr<platform::ReadOnlyFile>* keep) {
    const Package::Access access = AccessOf(path);
    if (access != Package::Access::Readable)
        return Unread(access);
    bool inUse = false;
    std::unique_ptr<platform::ReadOnlyFile> file =
        platform::ReadOnlyFile::Open(path.c_str(), share, &inUse);
    if (!file)
        return Unread(inUse ? Package::Access::InUse : Package::Access::Unreadable);
    Package p = ReadOpenFile(*file);
    if (keep != nullptr)
        *keep = std::move(file);
    return p;
}

}  // namespace

Package LoadPackage(const std::string& path) {
    return Load(path, platform::FileShare::Read, nullptr);
}

HeldPackageFile::HeldPackageFile(const std::string& path)
    : package_(Load(path, platform::FileShare::None, &file_)) {}

HeldPackageFile::~HeldPackageFile() = default;

uint32_t GetFileSizeByName(const char* path) {
    if (path == nullptr || path[0] == '\0')
        return 0;
    auto file = platform::ReadOnlyFile::Open(path, platform::FileShare::Read);
    if (!file)
        return 0;
    const int64_t size = file->Size();
    return size < 0 ? 0 : static_cast<uint32_t>(size & 0xFFFFFFFF);
}

bool CheckPackageFile(const char* path, PackageHeader* headerCopy) {
    if (path == nullptr)
        return false;
    const Package p = LoadPackage(path);
    if (p.access != Package::Access::Readable)
        return false;
    if (!p.bytes.empty() && headerCopy != nullptr)
        *headerCopy = p.header;
    return p.Selectable();
}
