#include "platform/linux/FollowLinks.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// As many links as the kernel follows in one lookup (MAXSYMLINKS).
constexpr int kMostLinks = 40;

}  // namespace

fs::path FollowLinks(const fs::path& path) {
    fs::path at = path;
    for (int i = 0; i < kMostLinks; ++i) {
        std::error_code ec;
        if (!fs::is_symlink(at, ec))
            return ec ? fs::path() : at.lexically_normal();
        const fs::path target = fs::read_symlink(at, ec);
        if (ec)
            return {};
        at = target.is_absolute() ? target : at.parent_path() / target;
    }
    return {};
}

}  // namespace platform
