// brevik-updater: the firmware update dialog.
#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/HelpAndVersion.h"
#include "app/UpdaterArguments.h"
#include "app/UpdaterHelp.h"
#include "app/qt/QtUpdaterDialog.h"
#include "diagnostics/capture/CaptureFile.h"
#include "platform/Environment.h"
#include "platform/Thread.h"
#include "util/OutsideText.h"

namespace {

// The one device object, constructed before the dialog and destroyed at exit.
BKQuillex g_device;

constexpr const char* kNoDisplay =
    "brevik-updater: no display to show the dialog on; 'brevik' does the same work on the "
    "command line (see 'brevik --help')";

// Without a display Qt would abort with advice to reinstall. Only X11 and
// Wayland need one; a platform named in QT_QPA_PLATFORM (offscreen, say) is
// left to Qt.
bool DisplayMissing() {
#if defined(__linux__)
    const auto unset = [](const char* name) {
        const char* value = std::getenv(name);
        return value == nullptr || *value == '\0';
    };
    return unset("DISPLAY") && unset("WAYLAND_DISPLAY") && unset("QT_QPA_PLATFORM");
#else
    return false;
#endif
}

// Qt's messages while the platform plugin starts, held back: when it fails,
// the first says why ("could not connect to display :1") and the rest advise
// a reinstall, which would not help.
std::string g_startMessages;

// A display that is named but cannot be reached makes the platform plugin
// fail, which Qt reports as fatal: one line and exit 1 instead of an abort.
void OnStartMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    const std::string line = PrintableText(message.section('\n', 0, 0).toStdString());
    if (type == QtFatalMsg) {
        const std::string reason = g_startMessages.substr(0, g_startMessages.find('\n'));
        std::fprintf(stderr, "%s (%s)\n", kNoDisplay, (reason.empty() ? line : reason).c_str());
        std::_Exit(1);
    }
    g_startMessages += line + "\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "brevik-updater", kUpdaterHelp))
        return 0;
    // BREVIK_CAPTURE=FILE records the dialog's serial session for a bug report.
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
    if (DisplayMissing()) {
        std::fprintf(stderr, "%s\n", kNoDisplay);
        return 1;
    }
    qInstallMessageHandler(OnStartMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(nullptr);
    std::fputs(g_startMessages.c_str(), stderr);
    QApplication::setWindowIcon(QIcon::fromTheme("brevik-updater"));
    static UpdaterState state;  // cleared application state
    state.Device = &g_device;
    // Qt has taken its own options out of argv: what is left is ours. The
    // name is kept as the bytes it came as (QApplication::arguments() would
    // decode it, and a name that is not UTF-8 would name another file).
    UpdaterArguments arguments =
        ParseUpdaterArguments(argc, argv, platform::UserConfigFile("brevik", "Brevik"));
    if (arguments.error.empty())
        arguments.error = AdoptPortChoice(&arguments.port);
    if (!arguments.error.empty()) {
        std::fprintf(stderr, "brevik-updater: %s\nRun 'brevik-updater --help' for more.\n",
                     PrintableText(arguments.error).c_str());
        return 2;
    }
    QtUpdaterDialog dialog(state, platform::StartDetachedThread);
    dialog.Logic().SetPortChoice(arguments.port);
    dialog.Logic().SetTrust(flash::DefaultTrustFolders(), arguments.trust);
    if (!arguments.package.empty())
        dialog.PreselectPackage(arguments.package);
    dialog.Run();
    return 0;
}
