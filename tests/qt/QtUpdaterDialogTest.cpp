#include "app/qt/QtUpdaterDialog.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <algorithm>

#include "app/logic/DialogTemplate.h"
#include "app/qt/DialogUnits.h"
#include "package/PackageBuilder.h"
#include "platform/Thread.h"
#include "tests/support/Fakes.h"
#include "tests/support/SimulatedPorts.h"
#include "tests/support/TempDir.h"

namespace {

class QtDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        state.Device = &t.device;
        dialog = std::make_unique<QtUpdaterDialog>(state, platform::StartDetachedThread);
        dialog->SetBoxPresenter(
            [this](const std::string& text, const std::string& caption, unsigned icon) {
                boxes.push_back({text, caption, icon});
            });
        dialog->SetFileChooser(
            [this](const std::string&, const ui::FileFilter&, std::string* path) {
                *path = nextFile;
                return !nextFile.empty();
            });
    }
    void TearDown() override {
        dialog.reset();
        t.device.ClosePort();
    }
    // Runs the event loop until done() or the time is up; calls sample()
    // after every round.
    bool Pump(const std::function<bool()>& done, int timeoutMs,
              const std::function<void()>& sample = {}) {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > timeoutMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (sample)
                sample();
        }
        return true;
    }
    QPushButton* Button(int id) { return static_cast<QPushButton*>(dialog->Control(id)); }
    // The dialog as it looks now, into BREVIK_SCREENSHOTS when set.
    void Shot(const char* name) {
        if (const char* folder = std::getenv("BREVIK_SCREENSHOTS"))
            dialog->grab().save(QString::fromUtf8(folder) + "/updater-" + name + ".png");
    }
    std::string Text(int id) { return dialog->ControlText(id); }

    TracedDevice t;
    UpdaterState state;
    std::unique_ptr<QtUpdaterDialog> dialog;
    std::vector<MessageBoxRecord> boxes;
    std::string nextFile;
    TempDir dir;
};

}  // namespace

TEST_F(QtDialog, TemplateInPixelsTextsAndTabOrder) {
    const DialogBaseUnits units = BaseUnitsOf(DialogFont());
    ASSERT_GT(units.x, 0);
    EXPECT_EQ(
        QSize(DluToPixelsX(kDialogWidthDlu, units.x), DluToPixelsY(kDialogHeightDlu, units.y)),
        dialog->size());
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize()) << "fixed size";
    EXPECT_EQ("Brevik Firmware Update Utility v1.7", dialog->windowTitle().toStdString());
    for (const ControlTemplate& c : kDialogControls) {
        if (c.id < 0)
            continue;
        const QRect expected(DluToPixelsX(c.x, units.x), DluToPixelsY(c.y, units.y),
                             DluToPixelsX(c.width, units.x), DluToPixelsY(c.height, units.y));
        EXPECT_EQ(expected, dialog->Control(c.id)->geometry()) << c.id;
    }
    // Each one-line text fits its control in the dialog's font.
    for (const ControlTemplate& c : kDialogControls) {
        QString text = QString::fromUtf8(c.text).remove('&');
        if (c.id < 0 && c.kind != ControlKind::Label)
            continue;
        if (text.isEmpty() || c.wraps)
            continue;
        QWidget* w = c.id > 0 ? dialog->Control(c.id) : nullptr;
        const int room = DluToPixelsX(c.width, units.x) - (c.kind == ControlKind::Label ? 0 : 6);
        EXPECT_LE(QFontMetrics(w != nullptr ? w->font() : dialog->font()).horizontalAdvance(text),
                  room)
            << text.toStdString();
    }
    EXPECT_EQ("Not Found!", Text(kControlFirmwareVersion));
    EXPECT_EQ("Not Found!", Text(kControlHardwareDescription));
    EXPECT_EQ("Unknown", Text(kControlUpdateVersion));
    EXPECT_EQ("", Text(kControlImageFile));
    EXPECT_FALSE(Button(kControlUpdate)->isEnabled());
    EXPECT_TRUE(Button(kControlUpdate)->isDefault());
    EXPECT_TRUE(Button(kControlCancel)->isEnabled());

    // The screen's order: top to bottom, left to right.
    const int tabOrder[] = {kControlDetect,   kControlImageFile, kControlBrowse,
                            kControlDiagnose, kControlUpdate,    kControlCancel};
    auto nextTabStop = [](QWidget* w) {
        do {
            w = w->nextInFocusChain();
        } while (!(w->focusPolicy() & Qt::TabFocus));
        return w;
    };
    for (size_t i = 0; i + 1 < std::size(tabOrder); ++i) {
        EXPECT_EQ(dialog->Control(tabOrder[i + 1]), nextTabStop(dialog->Control(tabOrder[i])))
            << tabOrder[i];
    }
}

TEST_F(QtDialog, OpensCentredAndDetectsNothingWithoutADevice) {
    ScopedPortTable none({});
    dialog->show();
    ASSERT_TRUE(Pump([this] { return Text(kControlFirmwareVersion) == "Not Found"; }, 5000));
    EXPECT_EQ("Not Found", Text(kControlHardwareDescription));
    const QRect screen = dialog->screen()->geometry();
    const QRect frame = dialog->frameGeometry();
    EXPECT_EQ(screen.left() + screen.width() / 2 - frame.width() / 2, frame.left());
    EXPECT_EQ(screen.top() + screen.height() / 2 - frame.height() / 2, frame.top());

    Button(kControlCancel)->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(0, dialog->result());
}

TEST_F(QtDialog, FullUpdateMovesTheBarAndRefusesToBeTakenAway) {
    OneSimulatedPort port;
    dialog->show();
    ASSERT_TRUE(Pump([this] { return Text(kControlFirmwareVersion) == "02.11.Q"; }, 5000));
    EXPECT_EQ("Quillex USB v2.11.Q", Text(kControlHardwareDescription));

    nextFile = dir.Write("new.bfw", FirmwarePackage(2047, 2, 12, 'Q'));
    Button(kControlBrowse)->click();
    EXPECT_EQ("2.12.Q", Text(kControlUpdateVersion));
    EXPECT_EQ("Quillex", Text(kControlTargetHardware));
    ASSERT_TRUE(Button(kControlUpdate)->isEnabled());
    Shot("package-chosen");

    // A device that takes its time over every block, so the bar can be seen.
    port.Device().InjectFault("f.block", {sim::FaultKind::Delay, 0, 40});
    auto* bar = static_cast<QProgressBar*>(dialog->Control(kControlProgress));
    int highest = 0;
    Button(kControlUpdate)->click();
    EXPECT_EQ("Updating...", Text(kControlUpdate));
    EXPECT_FALSE(Button(kControlDetect)->isEnabled());
    EXPECT_FALSE(Button(kControlBrowse)->isEnabled());
    EXPECT_FALSE(Button(kControlCancel)->isEnabled());
    ASSERT_TRUE(Pump([bar] { return bar->value() >= 2; }, 5000));
    ASSERT_TRUE(Pump(
        [this] {
            return Text(kControlProgressText).find("% ") != std::string::npos ||
                   Text(kControlProgressText).find("left") != std::string::npos;
        },
        5000))
        << Text(kControlProgressText);
    Shot("updating");
    dialog->close();
    dialog->reject();
    EXPECT_TRUE(dialog->isVisible()) << "neither closing nor Escape ends an update";
    EXPECT_EQ("The update goes on to its end; the window closes after it.",
              Text(kControlProgressText));
    Shot("closing-after-update");

    ASSERT_TRUE(Pump([this] { return !boxes.empty(); }, 15000,
                     [&] { highest = std::max(highest, bar->value()); }));
    EXPECT_GE(highest, 2);
    EXPECT_EQ("Update Successful. New version is 02.12.Q", boxes.back().text);
    EXPECT_EQ("Success", boxes.back().caption);
    ASSERT_TRUE(Pump([this] { return !dialog->Logic().UpdateRunning(); }, 5000));
    EXPECT_EQ("02.12.Q", Text(kControlFirmwareVersion));
    EXPECT_EQ(0, bar->value()) << "emptied at the end";
    EXPECT_FALSE(dialog->isVisible()) << "closed once the result was shown, as asked";
}

// What a screen reader and a keyboard user find: every control named, with
// its role; captions linked to their controls; mnemonics on the buttons and
// the field's caption; a field that is plainly editable; a bar that tells
// its value; the keyboard starting on Browse.
TEST_F(QtDialog, AccessibleNamesRolesRelationsMnemonicsAndFocus) {
    ScopedPortTable none({});
    dialog->show();
    ASSERT_TRUE(Pump([this] { return Text(kControlFirmwareVersion) == "Not Found"; }, 5000));
    EXPECT_EQ(dialog->Control(kControlBrowse), QApplication::focusWidget());

    struct Case {
        int id;
        QAccessible::Role role;
        const char* name;
        const char* labelledBy;  // the caption's text, or ""
        int mnemonic;            // Qt::Key, or 0
    };
    const Case cases[] = {
        {kControlHardwareDescription, QAccessible::StaticText, "Not Found",
         "Hardware Description:", 0},
        {kControlDetect, QAccessible::Button, "Detect", "", Qt::Key_D},
        {kControlFirmwareVersion, QAccessible::StaticText, "Not Found",
         "Current Firmware Version:", 0},
        {kControlPort, QAccessible::StaticText, "Not Found", "Port:", 0},
        {kControlImageFile, QAccessible::EditableText, "Image File", "&Image File:", 0},
        {kControlBrowse, QAccessible::Button, "Browse", "", Qt::Key_B},
        {kControlUpdateVersion, QAccessible::StaticText, "Unknown", "Update Version:", 0},
        {kControlTargetHardware, QAccessible::StaticText, "Unknown", "Target Hardware:", 0},
        {kControlSignature, QAccessible::StaticText, "Unknown", "Signature:", 0},
        {kControlProgress, QAccessible::ProgressBar, "Firmware update progress",
         "Firmware Update Progress...", 0},
        {kControlDiagnose, QAccessible::Button, "Diagnose", "", Qt::Key_G},
        {kControlUpdate, QAccessible::Button, "Update!", "", Qt::Key_U},
        {kControlCancel, QAccessible::Button, "Cancel", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(dialog->Control(c.id));
        ASSERT_NE(nullptr, a);
        EXPECT_EQ(c.role, a->role());
        EXPECT_EQ(c.name, a->text(QAccessible::Name).toStdString());
        std::string caption;
        for (const auto& [other, relation] : a->relations(QAccessible::Label))
            caption = other->text(QAccessible::Name).toStdString();
        if (*c.labelledBy != '\0') {
            // The caption's accessible name drops the mnemonic marker.
            std::string expected = c.labelledBy;
            expected.erase(std::remove(expected.begin(), expected.end(), '&'), expected.end());
            EXPECT_EQ(expected, caption);
        }
        if (c.mnemonic != 0) {
            auto* button = qobject_cast<QPushButton*>(dialog->Control(c.id));
            ASSERT_NE(nullptr, button);
            EXPECT_EQ(QKeySequence(Qt::ALT | c.mnemonic), button->shortcut());
        }
    }
    QAccessibleInterface* field =
        QAccessible::queryAccessibleInterface(dialog->Control(kControlImageFile));
    EXPECT_TRUE(field->state().editable);
    EXPECT_FALSE(field->state().readOnly) << "editable or read-only, not both";
    QAccessibleInterface* bar =
        QAccessible::queryAccessibleInterface(dialog->Control(kControlProgress));
    ASSERT_NE(nullptr, bar->valueInterface());
    EXPECT_EQ(0, bar->valueInterface()->currentValue().toInt());

    // Alt+I moves the keyboard to the field its caption names.
    QTest::keyClick(dialog.get(), Qt::Key_I, Qt::AltModifier);
    EXPECT_EQ(dialog->Control(kControlImageFile), QApplication::focusWidget());
    Shot("not-found");

    // A refused pick: the field names it, the details say why, nothing to flash.
    nextFile = dir.Write("broken.bfw", std::vector<uint8_t>{1, 2, 3});
    Button(kControlBrowse)->click();
    EXPECT_EQ(nextFile, Text(kControlImageFile));
    EXPECT_EQ(0u, Text(kControlUpdateVersion).rfind("shorter than a package header", 0))
        << Text(kControlUpdateVersion);
    EXPECT_FALSE(Button(kControlUpdate)->isEnabled());
    Shot("invalid-package");
}

// The first and last rows of an image with text ink in them (-1, -1: none).
std::pair<int, int> InkRows(const QImage& image) {
    int first = -1, last = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 96) {
                first = first < 0 ? y : first;
                last = y;
                break;
            }
        }
    }
    return {first, last};
}

// Every framed field shows its text whole, descenders included, inside its
// frame: as many rows of ink as the same text drawn with room to spare.
TEST_F(QtDialog, FramedFieldsShowTheirTextWhole) {
    dialog->show();
    QCoreApplication::processEvents();
    dialog->SetControlText(2747, "02.11.Q");
    dialog->SetControlText(1000, "Quillex USB v2.11.Q");
    QCoreApplication::processEvents();
    for (int id : {1000, 2747}) {
        auto* field = static_cast<QLabel*>(dialog->Control(id));
        QLabel roomy(field->text());
        roomy.setFont(field->font());
        roomy.resize(field->width(), field->height() * 3);
        roomy.setAlignment(Qt::AlignCenter);
        const auto [roomyFirst, roomyLast] = InkRows(roomy.grab().toImage());
        const QImage shown = field->grab().toImage();
        const auto [first, last] = InkRows(shown);
        ASSERT_GE(first, 0) << id;
        EXPECT_EQ(roomyLast - roomyFirst, last - first) << id << ": the text is cut";
        EXPECT_LT(last, shown.height() - field->frameWidth()) << id << ": ink over the frame";
    }
    Shot("detected");
}
