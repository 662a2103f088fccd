#include "platform/ModuleFiles.h"

#include <windows.h>
// shlwapi.h (DLLVERSIONINFO) needs windows.h first.
#include <shlwapi.h>

#include <vector>

namespace platform {

bool ReadFileVersion(const char* path, uint32_t* mostSignificant, uint32_t* leastSignificant) {
    if (path == nullptr)
        return false;
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0)
        return false;
    std::vector<uint8_t> resource(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!::GetFileVersionInfoA(path, 0, size, resource.data()) ||
        !::VerQueryValueA(resource.data(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
        fixed == nullptr || length < sizeof(VS_FIXEDFILEINFO))
        return false;
    *mostSignificant = fixed->dwFileVersionMS;
    *leastSignificant = fixed->dwFileVersionLS;
    return true;
}

uint32_t GetDllVersion(const char* library) {
    if (library == nullptr)
        return 0;
    HMODULE module = ::LoadLibraryA(library);
    if (module == nullptr)
        return 0;
    uint32_t packed = 0;
    // Through void (*)(): the generic function type a lookup result is cast via.
    auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void (*)()>(::GetProcAddress(module, "DllGetVersion")));
    if (getVersion != nullptr) {
        DLLVERSIONINFO info{};
        info.cbSize = sizeof info;
        if (SUCCEEDED(getVersion(&info)))
            packed = ((info.dwMajorVersion & 0xFFFF) << 16) | (info.dwMinorVersion & 0xFFFF);
    }
    ::FreeLibrary(module);
    return packed;
}

std::string ModuleFilePath() {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    return length == 0 || length >= sizeof path ? std::string() : std::string(path, length);
}

}  // namespace platform
