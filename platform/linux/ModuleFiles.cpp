#include "platform/ModuleFiles.h"

#include <filesystem>

namespace platform {

bool ReadFileVersion(const char*, uint32_t*, uint32_t*) {
    return false;
}

uint32_t GetDllVersion(const char*) {
    return 0;
}

std::string ModuleFilePath() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.string();
}

}  // namespace platform
