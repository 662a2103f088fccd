// Examining a package file on disk when the user selects it.
#pragma once

#include <cstdint>

#include "package/PackageFormat.h"

// Size of the file in bytes (low 32 bits); 0 for a null or empty path or a
// file that cannot be opened.
uint32_t GetFileSizeByName(const char* path);

// Reads the file whole and tests its size (a header and at most the largest
// body), its magic and header sum; a larger file is not read. Whenever the file
// was read whole, *headerCopy receives its first 256 bytes (zero-filled past
// the end of a shorter file), valid or not; the caller's loaded flag says
// whether the copy counts.
bool CheckPackageFile(const char* path, PackageHeader* headerCopy);
