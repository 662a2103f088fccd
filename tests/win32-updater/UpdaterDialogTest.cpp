// brevik-updater.exe driven as a user would, from another process: it finds
// the virtual device on COM7, refuses a broken package, takes a good one and
// flashes it with the bar moving. Each state is saved as a screenshot
// (BMP) in BREVIK_SCREENSHOTS for review. Run by tools/test-windows.sh
// inside tools/wine.sh with a paced device (so the bar is seen moving) and a
// display.
#include <windows.h>

// After <windows.h>:
#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/UpdaterState.h"
#include "tests/support/TempDir.h"
#include "tests/win32/WindowWaits.h"

namespace {

using std::chrono::milliseconds;

constexpr const char* kCaption = "Brevik Firmware Update Utility v1.7";

// Writes what the screen shows of the window as a 24-bit BMP.
void SaveScreenshot(HWND window, const std::string& name) {
    const char* folder = std::getenv("BREVIK_SCREENSHOTS");
    if (folder == nullptr || *folder == '\0')
        return;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    std::this_thread::sleep_for(milliseconds(200));
    RECT r;
    GetWindowRect(window, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    const int stride = (width * 3 + 3) & ~3;
    std::vector<char> pixels(static_cast<size_t>(stride) * height);
    GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    const std::string path = std::string(folder) + "\\" + name + ".bmp";
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(&file, sizeof file, 1, out);
        std::fwrite(&info, sizeof info, 1, out);
        std::fwrite(pixels.data(), 1, pixels.size(), out);
        std::fclose(out);
    }
}

class UpdaterProgram : public ::testing::Test {
  protected:
    void TearDown() override {
        if (process.hProcess != nullptr) {
            if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(process.hProcess, 99);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }

    // Started as Explorer starts it, with a wide command line: the file
    // argument may hold characters of no ANSI code page.
    void Start(const std::wstring& file = L"") {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring program = self;
        program.resize(program.find_last_of(L'\\'));
        program.resize(program.find_last_of(L'\\'));
        program += L"\\app\\brevik-updater.exe";
        std::wstring commandLine = L"\"" + program + L"\"";
        if (!file.empty())
            commandLine += L" \"" + file + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        ASSERT_TRUE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                   nullptr, nullptr, &startup, &process))
            << GetLastError();
        // A cold Wine can take long to show the first window of a run.
        dialog = WaitForProcessWindow(process.dwProcessId, kCaption, 60000);
        ASSERT_NE(nullptr, dialog) << "the dialog did not open";
    }

    std::string Text(int id) const { return TextOf(GetDlgItem(dialog, id)); }
    std::wstring WideText(int id) const {
        wchar_t text[512] = {};
        SendMessageW(GetDlgItem(dialog, id), WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
        return text;
    }
    bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
    void Click(int id) const { PostClick(dialog, id); }
    bool WaitForText(int id, const std::string& text, int timeoutMs = 20000) const {
        return WaitUntil([&] { return Text(id) == text; }, timeoutMs);
    }
    HWND WaitForBox(const std::string& caption, int timeoutMs = 20000) const {
        HWND box = nullptr;
        WaitUntil(
            [&] { return (box = FindProcessWindow(process.dwProcessId, caption)) != nullptr; },
            timeoutMs);
        return box;
    }
    // The text of a message box (its static text control).
    static std::string BoxText(HWND box) { return TextOf(GetDlgItem(box, 0xFFFF)); }
    static void CloseBox(HWND box) { PostMessageA(box, WM_COMMAND, IDOK, 0); }

    // Browse, then the file typed into the open-file dialog and confirmed.
    void Choose(const std::string& path) {
        Click(kControlBrowse);
        HWND chooser = WaitForBox("Select Firmware Image...");
        ASSERT_NE(nullptr, chooser) << "no open-file dialog";
        SaveScreenshot(chooser, "2-choose-package");
        // The name field: a combo box in the Explorer style, an edit in the
        // old one.
        HWND name = GetDlgItem(chooser, 0x47C);
        if (name == nullptr)
            name = GetDlgItem(chooser, 0x480);
        ASSERT_NE(nullptr, name);
        SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        PostMessageA(chooser, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(chooser); }, 10000));
    }

    PROCESS_INFORMATION process = {};
    HWND dialog = nullptr;
};

std::string WindowsPath(std::string path) {
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

}  // namespace

TEST_F(UpdaterProgram, DetectsRefusesABrokenPackageAndFlashesAGoodOne) {
    TempDir dir;
    const std::string good = WindowsPath(dir.Write("new.bfw", FirmwarePackage(24000, 2, 12, 'Q')));
    std::vector<uint8_t> broken = FirmwarePackage(500, 2, 12, 'Q');
    broken[broken.size() / 2] ^= 0x5A;
    const std::string bad = WindowsPath(dir.Write("broken.bfw", broken));

    Start();
    ASSERT_FALSE(HasFatalFailure());
    // Opened centred on the desktop, detection posted and run.
    RECT r;
    RECT desktop;
    GetWindowRect(dialog, &r);
    GetWindowRect(GetDesktopWindow(), &desktop);
    EXPECT_EQ(desktop.right / 2 - (r.right - r.left) / 2, r.left);
    EXPECT_EQ(desktop.bottom / 2 - (r.bottom - r.top) / 2, r.top);
    ASSERT_TRUE(WaitForText(kControlFirmwareVersion, "02.11.Q")) << Text(kControlFirmwareVersion);
    EXPECT_EQ("Quillex USB v2.11.Q", Text(kControlHardwareDescription));
    EXPECT_EQ("Unknown", Text(kControlUpdateVersion));
    EXPECT_EQ("Unknown", Text(kControlTargetHardware));
    EXPECT_EQ("", Text(kControlImageFile));
    EXPECT_FALSE(Enabled(kControlUpdate)) << "no package yet";
    EXPECT_TRUE(Enabled(kControlCancel));
    EXPECT_TRUE(Enabled(kControlDetect));
    EXPECT_TRUE(Enabled(kControlBrowse));
    SaveScreenshot(dialog, "1-detected");

    // A broken package: the box, and the details back to "Unknown".
    Choose(bad);
    ASSERT_FALSE(HasFatalFailure());
    HWND box = WaitForBox("Error!");
    ASSERT_NE(nullptr, box);
    // The box's text, then the file and why it was refused.
    EXPECT_EQ(0u, BoxText(box).rfind("Invalid Firmware Package", 0)) << BoxText(box);
    EXPECT_NE(std::string::npos, BoxText(box).find("broken.bfw: damaged")) << BoxText(box);
    SaveScreenshot(box, "3-invalid-package");
    CloseBox(box);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 5000));
    // The field names the refused file, the details say why, nothing to flash.
    EXPECT_EQ(0u, Text(kControlUpdateVersion).rfind("damaged", 0)) << Text(kControlUpdateVersion);
    EXPECT_EQ(bad, Text(kControlImageFile));
    EXPECT_FALSE(Enabled(kControlUpdate));

    // The good one typed into the field: Enter checks it and starts nothing.
    HWND field = GetDlgItem(dialog, kControlImageFile);
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field), TRUE);
    SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(good.c_str()));
    PostMessageA(field, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(field, WM_KEYUP, VK_RETURN, 0);
    ASSERT_TRUE(WaitForText(kControlUpdateVersion, "2.12.Q", 5000)) << Text(kControlUpdateVersion);
    EXPECT_EQ("Quillex", Text(kControlTargetHardware));
    EXPECT_EQ(good, Text(kControlImageFile));
    ASSERT_TRUE(WaitUntil([&] { return Enabled(kControlUpdate); }, 5000));
    SaveScreenshot(dialog, "4-package-chosen");

    // Update!: the buttons held while the bar moves, then the result.
    HWND bar = GetDlgItem(dialog, kControlProgress);
    Click(kControlUpdate);
    ASSERT_TRUE(WaitForText(kControlUpdate, "Updating...", 5000));
    EXPECT_FALSE(Enabled(kControlUpdate));
    EXPECT_FALSE(Enabled(kControlCancel));
    EXPECT_FALSE(Enabled(kControlDetect));
    EXPECT_FALSE(Enabled(kControlBrowse));
    std::set<LRESULT> positions;
    LRESULT highest = 0;
    HWND success = nullptr;
    bool midShot = false;
    WaitUntil(
        [&] {
            const LRESULT position = SendMessageA(bar, PBM_GETPOS, 0, 0);
            positions.insert(position);
            highest = SendMessageA(bar, PBM_GETRANGE, FALSE, 0);
            if (!midShot && position > highest / 3 && highest > 0) {
                SaveScreenshot(dialog, "5-updating");
                midShot = true;
            }
            success = FindProcessWindow(process.dwProcessId, "Success");
            return success != nullptr;
        },
        60000);
    ASSERT_NE(nullptr, success) << "no result box";
    EXPECT_GE(positions.size(), 5u) << "the bar hardly moved";
    EXPECT_EQ(0, SendMessageA(bar, PBM_GETRANGE, TRUE, 0));
    EXPECT_GT(highest, 0);
    EXPECT_EQ("Update Successful. New version is 02.12.Q", BoxText(success));
    SaveScreenshot(success, "6-success");
    CloseBox(success);
    ASSERT_TRUE(WaitForText(kControlUpdate, "&Update!", 5000));
    EXPECT_TRUE(Enabled(kControlUpdate));
    EXPECT_TRUE(Enabled(kControlCancel));
    EXPECT_TRUE(Enabled(kControlDetect));
    EXPECT_TRUE(Enabled(kControlBrowse));
    EXPECT_EQ("02.12.Q", Text(kControlFirmwareVersion));
    SaveScreenshot(dialog, "7-updated");

    // Cancel ends the program with 0.
    Click(kControlCancel);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 10000));
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(0u, exitCode);
}

// brevik-updater.exe FILE, as opening a package in Explorer runs it, with a
// name outside the ANSI code page (Greek capital omega): the package named
// is the one loaded and shown.
TEST_F(UpdaterProgram, OpensAPackageNamedOnTheCommandLineWhateverItsName) {
    TempDir dir;
    const std::string ascii =
        WindowsPath(dir.Write("plain.bfw", FirmwarePackage(4000, 2, 12, 'Q')));
    const std::wstring folder(ascii.begin(), ascii.begin() + ascii.find_last_of('\\') + 1);
    const std::wstring named = folder + L"pak\u03A9.bfw";
    ASSERT_TRUE(MoveFileW(std::wstring(ascii.begin(), ascii.end()).c_str(), named.c_str()));

    Start(named);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(WaitForText(kControlUpdateVersion, "2.12.Q", 20000)) << Text(kControlUpdateVersion);
    EXPECT_EQ(named, WideText(kControlImageFile));
    Click(kControlCancel);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 10000));
}
