// brevik-updater: the firmware update dialog.
#include <QApplication>
#include <QIcon>

#include <cstdio>

#include "app/HelpAndVersion.h"
#include "app/UpdaterHelp.h"
#include "app/qt/QtUpdaterDialog.h"
#include "diagnostics/capture/CaptureFile.h"
#include "platform/Thread.h"
#include "util/OutsideText.h"

namespace {

// The one device object, constructed before the dialog and destroyed at exit.
BKQuillex g_device;

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
        std::fprintf(stderr, "brevik-updater: BREVIK_CAPTURE: %s cannot be written: %s\n",
                     PrintableText(capture::CapturePathFromEnvironment()).c_str(),
                     capture.Problem().c_str());
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon::fromTheme("brevik-updater"));
    static UpdaterState state;  // cleared application state
    state.Device = &g_device;
    QtUpdaterDialog dialog(state, platform::StartDetachedThread);
    // Qt has taken its own options out of argv: what is left is ours.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1)
        dialog.PreselectPackage(arguments.at(1).toStdString());
    dialog.Run();
    return 0;
}
