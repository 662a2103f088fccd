#include "platform/linux/ProcessTable.h"

#include <filesystem>
#include <fstream>

namespace platform {

std::string FirstLineOf(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

bool ProcessRunning(const std::string& name) {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const fs::directory_entry& process : fs::directory_iterator("/proc", ec)) {
        const std::string pid = process.path().filename().string();
        if (pid.find_first_not_of("0123456789") == std::string::npos &&
            FirstLineOf((process.path() / "comm").string()) == name)
            return true;
    }
    return false;
}

}  // namespace platform
