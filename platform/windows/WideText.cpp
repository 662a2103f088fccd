#include "platform/windows/WideText.h"

#include <windows.h>

namespace platform {

std::wstring WideText(const char* utf8) {
    if (utf8 == nullptr || *utf8 == '\0')
        return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), n);
    wide.resize(static_cast<size_t>(n) - 1);
    return wide;
}

std::string Utf8Text(const wchar_t* wide) {
    if (wide == nullptr || *wide == L'\0')
        return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return {};
    std::string utf8(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), n, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(n) - 1);
    return utf8;
}

}  // namespace platform
