// brevik-updater.exe: the firmware update dialog on Win32.
#include <windows.h>

#include <cstdio>

#include "app/HelpAndVersion.h"
#include "app/UpdaterArguments.h"
#include "app/UpdaterHelp.h"
#include "app/win32/Win32UpdaterDialog.h"
#include "diagnostics/capture/CaptureFile.h"
#include "platform/Environment.h"
#include "platform/ProgramArguments.h"
#include "platform/Thread.h"
#include "util/OutsideText.h"

namespace {

// The one device object, constructed before the dialog and destroyed at exit.
BKQuillex g_device;

}  // namespace

int main(int argc, char** argv) {
    platform::ProgramArguments arguments(argc, argv);
    argc = arguments.Count();
    argv = arguments.Values();
    // A windowed program has no console of its own: --help and --version
    // write to the one it was started from.
    if (argc > 1 && argv[1][0] == '-' && GetStdHandle(STD_OUTPUT_HANDLE) == nullptr &&
        AttachConsole(ATTACH_PARENT_PROCESS))
        std::freopen("CONOUT$", "w", stdout);
    if (AnswerHelpOrVersion(argc, argv, "brevik-updater", kUpdaterHelp))
        return 0;
    const capture::ScopedCapture capture(capture::CapturePathFromEnvironment(),
                                         "brevik-updater " BREVIK_VERSION);
    // Asked for a capture (for a bug report) and none can be made: say so
    // instead of running without it.
    if (!capture.Ok()) {
        std::fprintf(stderr, kUpdaterCaptureFailed,
                     PrintableText(capture::CapturePathFromEnvironment()).c_str(),
                     capture.Problem().c_str());
        return 1;
    }
    UpdaterArguments parsed =
        ParseUpdaterArguments(argc, argv, platform::UserConfigFile("brevik", "Brevik"));
    if (parsed.error.empty())
        parsed.error = AdoptPortChoice(&parsed.port);
    if (!parsed.error.empty()) {
        const std::string text = PrintableText(parsed.error);
        std::fprintf(stderr, "brevik-updater: %s\n", text.c_str());
        // Started from Explorer or a shortcut there is no console to read it.
        MessageBoxA(nullptr, text.c_str(), "brevik-updater", MB_OK | MB_ICONERROR);
        return 2;
    }
    static UpdaterState state;  // cleared application state
    state.Device = &g_device;
    Win32UpdaterDialog dialog(state, platform::StartDetachedThread);
    dialog.PreselectPort(parsed.port);
    dialog.PresetTrust(parsed.trust);
    if (!parsed.package.empty())
        dialog.PreselectPackage(parsed.package);
    dialog.Run(GetModuleHandleA(nullptr));
    return 0;
}
