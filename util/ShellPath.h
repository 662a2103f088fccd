// Joining a file name to a base path the way the shell does, with the
// system's separator ('\' on Windows, '/' elsewhere).
#pragma once

#include <cstddef>

constexpr size_t kShellPathCapacity = 260;

// Joins base and file name with one separator and removes "." and ".."
// segments; with strip set, the base's last component (a file name) goes
// first. The base counts up to 259 characters. destination holds
// kShellPathCapacity characters; false (and an empty destination) when the
// result does not fit or an argument is null.
bool CombinePath(const char* fileName, const char* basePath, bool strip, char* destination);

// The directory of this program's file, with its separator at the end, in
// a destination of kShellPathCapacity characters; empty when unknown.
void GetModuleDirectory(char* destination);
