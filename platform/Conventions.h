// Plain values that differ between the systems; each system's folder
// defines them, so shared code never asks which system it runs on.
#pragma once

namespace platform {

// Between the paths of a list in an environment variable (BREVIK_PORTS).
extern const char kPathListSeparator;
// Between the parts of a file path.
extern const char kPathSeparator;
// The end of a line in a text file of this system.
extern const char kTextLineEnd[];
// Whether the system has pseudo-terminals for a virtual device to serve on.
extern const bool kHasPseudoTerminals;

}  // namespace platform
