// The Win32 updater dialog in this process, on a virtual device behind a
// loopback line, driven from a second thread while the test's thread runs
// the modal dialog: what the Win32 layer adds to the shared logic (texts of
// static controls, closing through Escape and the close box, the worker's
// messages, the end of the dialog).
#include "app/win32/Win32UpdaterDialog.h"

#include <gtest/gtest.h>
#include <oleacc.h>

#include <string>
#include <thread>

#include "app/logic/DialogTemplate.h"
#include "platform/Thread.h"
#include "tests/support/SimulatedPorts.h"
#include "tests/support/TempDir.h"
#include "tests/win32/WindowWaits.h"

namespace {

class Win32Dialog : public ::testing::Test {
  protected:
    Win32Dialog() { state.Device = &device; }

    // Runs the dialog on this thread and the user's part on another; the
    // dialog's result.
    INT_PTR RunWith(const std::function<void(HWND)>& user) {
        std::thread hands([&] {
            HWND dialog = WaitForProcessWindow(GetCurrentProcessId(), kDialogCaption, 20000);
            EXPECT_NE(nullptr, dialog) << "the dialog did not open";
            if (dialog == nullptr)
                return;
            user(dialog);
            // Whatever happened, the dialog ends (a refused close is tried
            // again until the update is over).
            WaitUntil(
                [&] {
                    PostMessageA(dialog, WM_CLOSE, 0, 0);
                    return !IsWindow(dialog);
                },
                60000);
        });
        const INT_PTR result = updater.Run(GetModuleHandleA(nullptr));
        hands.join();
        return result;
    }

    static std::string Text(HWND dialog, int id) { return TextOf(GetDlgItem(dialog, id)); }
    static bool Enabled(HWND dialog, int id) {
        return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
    }

    TempDir dir;
    BKQuillex device;
    UpdaterState state;
    Win32UpdaterDialog updater{state, platform::StartDetachedThread};
};

}  // namespace

TEST_F(Win32Dialog, WithoutADeviceShowsNotFoundAndAnAmpersandAsOne) {
    KeepRealPortsOutOfReach();
    // A package for Varro & Pell hardware, given on the command line.
    updater.PreselectPackage(dir.Write("vp.bfw", FirmwarePackage(700, 3, 4, 'P')));
    const INT_PTR result = RunWith([](HWND dialog) {
        EXPECT_TRUE(
            WaitUntil([&] { return Text(dialog, kControlFirmwareVersion) == "Not Found"; }, 10000))
            << Text(dialog, kControlFirmwareVersion);
        EXPECT_EQ("Not Found", Text(dialog, kControlHardwareDescription));
        EXPECT_EQ("3.4.P", Text(dialog, kControlUpdateVersion));
        // A static control shows "&&" as one '&'.
        EXPECT_EQ("Varro && Pell", Text(dialog, kControlTargetHardware));
        EXPECT_FALSE(Enabled(dialog, kControlUpdate)) << "no device to match";
        EXPECT_TRUE(Enabled(dialog, kControlCancel));

        // High contrast: the dialog takes the system's colours, none of its own.
        const int elements[] = {COLOR_BTNFACE, COLOR_BTNTEXT, COLOR_WINDOW, COLOR_WINDOWTEXT};
        COLORREF before[4];
        for (int i = 0; i < 4; ++i)
            before[i] = GetSysColor(elements[i]);
        const COLORREF contrast[] = {RGB(0, 0, 0), RGB(255, 255, 255), RGB(0, 0, 0),
                                     RGB(255, 255, 0)};
        ASSERT_TRUE(SetSysColors(4, elements, contrast));
        RedrawWindow(dialog, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        WaitUntil(
            [&] {
                HDC dc = GetDC(dialog);
                const COLORREF face = GetPixel(dc, 2, 2);
                ReleaseDC(dialog, dc);
                return face == RGB(0, 0, 0);
            },
            3000);
        HDC dc = GetDC(dialog);
        const COLORREF face = GetPixel(dc, 2, 2);
        ReleaseDC(dialog, dc);
        SetSysColors(4, elements, before);
        EXPECT_EQ(RGB(0, 0, 0), face) << "the dialog's face is not the system's";
        PostClick(dialog, kControlCancel);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 5000));
    });
    EXPECT_EQ(0, result);
}

TEST_F(Win32Dialog, EscapeAndTheCloseBoxSayTheUpdateGoesOnThenTheDialogEnds) {
    sim::DeviceConfig config;
    config.paceAtLineRate = true;  // an update long enough to try closing
    OneSimulatedPort port(config);
    updater.PreselectPackage(dir.Write("new.bfw", FirmwarePackage(12000, 2, 12, 'Q')));
    const INT_PTR result = RunWith([](HWND dialog) {
        ASSERT_TRUE(WaitUntil([&] { return Enabled(dialog, kControlUpdate); }, 10000))
            << Text(dialog, kControlFirmwareVersion);
        // A package given beforehand that fits: the keyboard starts on Update!.
        GUITHREADINFO gui = {sizeof gui, 0, {}, {}, {}, {}, {}, {}, {}};
        EXPECT_TRUE(WaitUntil(
            [&] {
                return GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gui) &&
                       gui.hwndFocus == GetDlgItem(dialog, kControlUpdate);
            },
            5000));
        PostClick(dialog, kControlUpdate);
        ASSERT_TRUE(WaitUntil([&] { return Text(dialog, kControlUpdate) == "Updating..."; }, 5000));
        EXPECT_TRUE(WaitUntil(
            [&] { return Text(dialog, kControlProgressText).find('%') != std::string::npos; },
            5000))
            << Text(dialog, kControlProgressText);
        // Escape, the close box and Alt+F4 while the upload holds the port.
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(WaitUntil(
            [&] {
                return Text(dialog, kControlProgressText) ==
                       "The update goes on to its end; the window closes after it.";
            },
            5000))
            << Text(dialog, kControlProgressText);
        HWND box = WaitForProcessWindow(GetCurrentProcessId(), "Success", 30000);
        ASSERT_NE(nullptr, box);
        EXPECT_TRUE(IsWindow(dialog)) << "closed under the running update";
        EXPECT_EQ("Update Successful. New version is 02.12.Q", TextOf(GetDlgItem(box, 0xFFFF)));
        // Once its result has been read, the dialog ends as it was asked to.
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 5000));
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ(0, device.PortOpen) << "the port is closed with the dialog";
}

// What a screen reader finds through MSAA: every control with an
// identifier has its role, and its name where Wine's accessibility answers
// (a button by its text without the mnemonic marker, a field and the bar by
// the caption before them).
TEST_F(Win32Dialog, ControlsHaveTheirAccessibleRolesAndNames) {
    KeepRealPortsOutOfReach();
    int answered = 0;
    RunWith([&answered](HWND dialog) {
        CoInitialize(nullptr);
        ASSERT_TRUE(
            WaitUntil([&] { return Text(dialog, kControlFirmwareVersion) == "Not Found"; }, 10000));
        for (const ControlTemplate& c : kDialogControls) {
            if (c.id < 0)
                continue;
            SCOPED_TRACE(c.id);
            IAccessible* object = nullptr;
            // The standard object of the control, as a screen reader gets it
            // for a window that does not make its own.
            if (CreateStdAccessibleObject(GetDlgItem(dialog, c.id), OBJID_CLIENT, IID_IAccessible,
                                          reinterpret_cast<void**>(&object)) != S_OK)
                continue;
            ++answered;
            VARIANT self;
            self.vt = VT_I4;
            self.lVal = CHILDID_SELF;
            VARIANT role;
            VariantInit(&role);
            ASSERT_EQ(S_OK, object->get_accRole(self, &role));
            long expectedRole = ROLE_SYSTEM_STATICTEXT;
            std::string expectedName = c.text;
            switch (c.kind) {
                case ControlKind::PushButton:
                case ControlKind::DefaultPushButton:
                    expectedRole = ROLE_SYSTEM_PUSHBUTTON;
                    expectedName = WithoutMnemonic(c.text);
                    break;
                case ControlKind::PathField:
                    expectedRole = ROLE_SYSTEM_TEXT;
                    expectedName = "Image File:";
                    break;
                case ControlKind::ProgressBar:
                    expectedRole = ROLE_SYSTEM_PROGRESSBAR;
                    expectedName = "Firmware Update Progress...";
                    break;
                default:
                    expectedName = Text(dialog, c.id);
                    break;
            }
            EXPECT_EQ(expectedRole, role.lVal);
            BSTR name = nullptr;
            if (object->get_accName(self, &name) == S_OK && name != nullptr) {
                const std::wstring wide(name);
                EXPECT_EQ(expectedName, std::string(wide.begin(), wide.end()));
                SysFreeString(name);
            }
            object->Release();
        }
        PostClick(dialog, kControlCancel);
        CoUninitialize();
    });
    if (answered == 0)
        GTEST_SKIP() << "no accessible object for the dialog's controls here (Wine's oleacc "
                        "makes none for them); Windows does";
}
