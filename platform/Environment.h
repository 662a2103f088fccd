// The process's surroundings: environment variables and scratch folders.
#pragma once

#include <optional>
#include <string>

namespace platform {

// The value of an environment variable; empty optional when it is not set
// (a variable set to "" is set: Windows' C runtime cannot tell them apart).
std::optional<std::string> EnvironmentValue(const char* name);

// Sets name to value for this process and the programs it starts; a null
// value removes the variable.
bool SetEnvironmentValue(const char* name, const char* value);

// Makes a new, empty folder of this user's in the system's temporary folder,
// named prefix + something unique. Empty when none could be made.
std::string MakeScratchFolder(const char* prefix);

// Where this user's settings file for a program lives: on POSIX
// $XDG_CONFIG_HOME/FOLDER/config (~/.config/FOLDER/config by default), on
// Windows %APPDATA%\Folder\config. Empty when the system names no place.
std::string UserConfigFile(const char* posixFolder, const char* windowsFolder);

// This machine's name on the network ("" when the system does not say).
std::string HostName();

// True for a Windows program that Wine runs (never on POSIX).
bool RunningUnderWine();

}  // namespace platform
