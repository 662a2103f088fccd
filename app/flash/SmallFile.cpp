#include "app/flash/SmallFile.h"

#include <memory>

#include "platform/FileAccess.h"

namespace flash {

std::optional<std::string> ReadSmallFile(const std::string& path, int64_t limit,
                                         SmallFileProblem* problem) {
    SmallFileProblem ignored;
    SmallFileProblem& why = problem != nullptr ? *problem : ignored;
    why = SmallFileProblem::Unreadable;
    std::unique_ptr<platform::ReadOnlyFile> file =
        platform::ReadOnlyFile::Open(path.c_str(), platform::FileShare::Read);
    if (!file || file->Size() < 0)
        return std::nullopt;
    if (file->Size() > limit) {
        why = SmallFileProblem::TooLarge;
        return std::nullopt;
    }
    std::string bytes(static_cast<size_t>(file->Size()), '\0');
    uint32_t got = 0;
    if (!bytes.empty() && (!file->Read(bytes.data(), static_cast<uint32_t>(bytes.size()), &got) ||
                           got != bytes.size()))
        return std::nullopt;
    why = SmallFileProblem::None;
    return bytes;
}

}  // namespace flash
