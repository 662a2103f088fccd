// What this test program's own file and the system's libraries say of
// their versions: each system's folder checks its own.
#pragma once

#include <string>

void ExpectOwnVersionResourceAndDllVersions(const std::string& ownPath);
