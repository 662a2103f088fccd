// What the system keeps about program files: the version a Windows file
// carries in its version resource, the version a DLL reports, and where this
// program's own file is.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The two 32-bit halves of a file's version (major and minor in the more
// significant, build and revision in the less); false when the file has no
// version resource (always, outside Windows).
bool ReadFileVersion(const char* path, uint32_t* mostSignificant, uint32_t* leastSignificant);

// A DLL's DllGetVersion, packed as major << 16 | minor; 0 when the library
// cannot be loaded, has no such export or the call fails (always 0 outside
// Windows). The library is released again.
uint32_t GetDllVersion(const char* library);

// The full path of this program's file; empty when the system will not say.
std::string ModuleFilePath();

}  // namespace platform
