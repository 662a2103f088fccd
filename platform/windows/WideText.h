// Between the programs' UTF-8 texts and the system's UTF-16 ones.
#pragma once

#include <string>

namespace platform {

/// UTF-16 of a UTF-8 text; bytes that are not UTF-8 become U+FFFD.
std::wstring WideText(const char* utf8);
/// UTF-8 of a UTF-16 text; a lone surrogate becomes U+FFFD.
std::string Utf8Text(const wchar_t* wide);

}  // namespace platform
