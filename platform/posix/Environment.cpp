#include "platform/Environment.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace platform {

std::optional<std::string> EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

bool SetEnvironmentValue(const char* name, const char* value) {
    return (value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name)) == 0;
}

std::string MakeScratchFolder(const char* prefix) {
    std::error_code ec;
    std::string pattern =
        (std::filesystem::temp_directory_path(ec) / (std::string(prefix) + "XXXXXX")).string();
    return ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

std::string UserConfigFile(const char* posixFolder, const char*) {
    const std::optional<std::string> xdg = EnvironmentValue("XDG_CONFIG_HOME");
    if (xdg && !xdg->empty() && (*xdg)[0] == '/')
        return *xdg + "/" + posixFolder + "/config";
    const std::optional<std::string> home = EnvironmentValue("HOME");
    return home && !home->empty() ? *home + "/.config/" + posixFolder + "/config" : "";
}

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return "";
    return name;
}

bool RunningUnderWine() {
    return false;
}

}  // namespace platform
