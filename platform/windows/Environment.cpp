#include "platform/Environment.h"

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/windows/WideText.h"

namespace platform {

std::optional<std::string> EnvironmentValue(const char* name) {
    // The system's copy: the C runtime's drops a variable set to "".
    ::SetLastError(ERROR_SUCCESS);
    const DWORD size = ::GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0)
        return ::GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt
                                                          : std::optional<std::string>("");
    std::string value(size, '\0');
    const DWORD length = ::GetEnvironmentVariableA(name, value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
}

bool SetEnvironmentValue(const char* name, const char* value) {
    // The C runtime's copy (getenv; "" removes it there) and the system's
    // (EnvironmentValue, child processes).
    const bool runtime = ::_putenv_s(name, value != nullptr ? value : "") == 0;
    return ::SetEnvironmentVariableA(name, value) != 0 && runtime;
}

std::string MakeScratchFolder(const char* prefix) {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec)
        return "";
    const unsigned long long seed = ::GetTickCount64() ^ (::GetCurrentProcessId() * 2654435761ull);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path folder =
            base / (std::string(prefix) + std::to_string((seed + attempt * 7919) % 1000000007));
        // Fails when the name is taken, so the folder is ours alone.
        if (::CreateDirectoryA(folder.string().c_str(), nullptr))
            return folder.string();
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            return "";
    }
    return "";
}

std::string UserConfigFile(const char*, const char* windowsFolder) {
    const std::optional<std::string> appData = EnvironmentValue("APPDATA");
    return appData && !appData->empty() ? *appData + "\\" + windowsFolder + "\\config" : "";
}

bool RunningUnderWine() {
    // Wine's ntdll exports its version; Windows' does not.
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string HostName() {
    wchar_t name[256] = {};
    DWORD size = 256;
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size))
        return "";
    return Utf8Text(name);
}

}  // namespace platform
