#include "gui/win32/Win32Toolbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "tests/support/TempDir.h"

namespace {

using std::chrono::milliseconds;

// A top-level window for the tests' controls.
struct TestWindow {
    explicit TestWindow(int width = 400, int height = 300) {
        handle = CreateWindowExA(0, "STATIC", "toolbox", WS_OVERLAPPEDWINDOW, 50, 40, width, height,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    ~TestWindow() { DestroyWindow(handle); }
    HWND Child(const char* className, DWORD style, int x = 0, int y = 0, int width = 200,
               int height = 100) const {
        return CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                               handle, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    HWND handle;
};

std::string TextOf(HWND window) {
    std::string text(static_cast<size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(
        static_cast<size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// Answers the modal dialog titled title once it shows, from another thread
// (the test's thread is inside the dialog's own loop meanwhile).
class DialogAnswer {
  public:
    DialogAnswer(const char* title, std::function<void(HWND)> answer)
        : worker_([this, title, answer] {
              for (int i = 0; i < 1000 && !stop_; ++i) {
                  if (HWND dialog = FindWindowA("#32770", title)) {
                      answer(dialog);
                      found_ = true;
                      return;
                  }
                  std::this_thread::sleep_for(milliseconds(10));
              }
          }) {}
    ~DialogAnswer() {
        stop_ = true;
        worker_.join();
    }
    bool Found() const { return found_; }

  private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> found_{false};
    std::thread worker_;
};

void Cancel(HWND dialog) {
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

}  // namespace

TEST(Win32Toolbox, PlacesChildWindowsByClientAreas) {
    TestWindow parent;
    HWND child = parent.Child("STATIC", 0, 10, 20, 100, 50);
    RECT rect;
    ASSERT_TRUE(GetWindowRectInParent(child, parent.handle, &rect));
    EXPECT_EQ(10, rect.left);
    EXPECT_EQ(20, rect.top);
    EXPECT_EQ(110, rect.right);
    EXPECT_EQ(70, rect.bottom);

    ASSERT_TRUE(CenterWindowInClient(child, parent.handle));
    RECT client;
    GetClientRect(parent.handle, &client);
    ASSERT_TRUE(GetWindowRectInParent(child, parent.handle, &rect));
    EXPECT_EQ(client.right / 2 - 50, rect.left);
    EXPECT_EQ(client.bottom / 2 - 25, rect.top);
    EXPECT_EQ(100, rect.right - rect.left) << "moved, not resized";

    // Without a parent: screen coordinates, as the desktop's client area.
    RECT screen;
    GetWindowRect(child, &screen);
    ASSERT_TRUE(GetWindowRectInParent(child, nullptr, &rect));
    EXPECT_EQ(screen.left, rect.left);
    EXPECT_EQ(screen.bottom, rect.bottom);
}

TEST(Win32Toolbox, MenuChecksToggleAndReportTheirPreviousState) {
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, 41, "Trace");
    EXPECT_EQ(0, IsMenuItemChecked(menu, 41));
    EXPECT_EQ(1, ToggleMenuItemCheck(menu, 41));
    EXPECT_EQ(0, ToggleMenuItemCheck(menu, 41));
    EXPECT_EQ(static_cast<DWORD>(MF_UNCHECKED), SetMenuItemCheck(menu, 41, TRUE));
    EXPECT_EQ(static_cast<DWORD>(MF_CHECKED), SetMenuItemCheck(menu, 41, FALSE));
    EXPECT_EQ(0, IsMenuItemChecked(menu, 41));
    EXPECT_EQ(1, IsMenuItemChecked(menu, 99)) << "a missing command reads as checked";
    EXPECT_EQ(static_cast<DWORD>(-1), SetMenuItemCheck(menu, 99, TRUE));
    DestroyMenu(menu);
}

TEST(Win32Toolbox, RichTextAppendsLinesInColourAndEditLinesAreReplaced) {
    ASSERT_NE(nullptr, LoadLibraryA("riched20.dll"));
    TestWindow window;
    HWND rich = window.Child(RICHEDIT_CLASSA, ES_MULTILINE);
    ASSERT_NE(nullptr, rich);
    // A light font: the default one may be bold already.
    SendMessageA(rich, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);

    // No line break goes into an empty control; a rich-edit control keeps
    // each break as one "\r".
    EXPECT_NE(0, RichAppendText(rich, "first", 2, FALSE, nullptr));
    EXPECT_NE(0, RichAppendColoredText(rich, "second", 1, FALSE, TRUE, RGB(200, 0, 0)));
    GETTEXTLENGTHEX how = {GTL_NUMCHARS, CP_ACP};
    EXPECT_EQ(12, SendMessageA(rich, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&how), 0));
    CHARRANGE second = {6, 12};
    SendMessageA(rich, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&second));
    CHARFORMAT2A format = {};
    format.cbSize = sizeof format;
    SendMessageA(rich, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(RGB(200, 0, 0), format.crTextColor);
    EXPECT_TRUE(format.dwEffects & CFE_BOLD);
    CHARRANGE first = {0, 5};
    SendMessageA(rich, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&first));
    SendMessageA(rich, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    EXPECT_FALSE(format.dwEffects & CFE_BOLD) << "the earlier text keeps its format";

    EXPECT_NE(0, RichAppendText(rich, "only", 3, TRUE, nullptr));
    EXPECT_EQ(4, SendMessageA(rich, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&how), 0))
        << "cleared first, so no breaks";

    // Edit lines: replaced in place, missing lines and null text refused.
    HWND edit = window.Child("EDIT", ES_MULTILINE | ES_AUTOVSCROLL);
    SetWindowTextA(edit, "alpha\r\nbeta\r\ngamma");
    EXPECT_EQ(1, ReplaceEditLine(edit, 1, "BETA-2", nullptr));
    EXPECT_EQ("alpha\r\nBETA-2\r\ngamma", TextOf(edit));
    EXPECT_EQ(0, ReplaceEditLine(edit, 7, "x", nullptr));
    EXPECT_EQ(0, ReplaceEditLine(edit, 0, nullptr, nullptr));
    EXPECT_EQ("alpha\r\nBETA-2\r\ngamma", TextOf(edit));
    EXPECT_FALSE(SendMessageA(edit, EM_CANUNDO, 0, 0)) << "not undoable";

    // Scrolled to the end: the caret there, or everything selected.
    ScrollEditToEnd(edit, FALSE);
    DWORD start = 0;
    DWORD end = 0;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(20u, start);
    EXPECT_EQ(20u, end);
    ScrollEditToEnd(edit, TRUE);
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(0u, start);
    EXPECT_EQ(20u, end);
}

TEST(Win32Toolbox, ListAndComboItemsAreFoundByTheirValues) {
    TestWindow window;
    HWND list = window.Child("LISTBOX", LBS_NOTIFY);
    for (const auto& [text, value] : {std::pair{"COM1", 101u}, {"COM2", 102u}, {"COM3", 103u}}) {
        const auto index = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(index), value);
    }
    uint32_t value = 7;
    EXPECT_EQ(0, ListBoxGetSelectedData(list, &value));
    EXPECT_EQ(7u, value) << "untouched without a selection";
    EXPECT_EQ(1, ListBoxSelectByData(list, 102));
    EXPECT_EQ(-1, ListBoxSelectByData(list, 555));
    EXPECT_EQ(1, SendMessageA(list, LB_GETCURSEL, 0, 0)) << "kept when nothing matches";

    // Replacing the selected item's text keeps its value and the selection.
    EXPECT_EQ(1, ListBoxReplaceString(list, 1, "COM2 (busy)"));
    char text[32] = {};
    SendMessageA(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ("COM2 (busy)", text);
    EXPECT_EQ(1, ListBoxGetSelectedData(list, &value));
    EXPECT_EQ(102u, value);
    EXPECT_EQ(1, ListBoxGetSelectedData(list, nullptr));
    EXPECT_EQ(1, ListBoxReplaceString(list, 2, "COM3 (free)"));
    EXPECT_EQ(1, SendMessageA(list, LB_GETCURSEL, 0, 0)) << "another item's selection stays";
    EXPECT_EQ(0, ListBoxReplaceString(nullptr, 0, "x"));

    HWND combo = window.Child("COMBOBOX", CBS_DROPDOWNLIST, 0, 0, 200, 200);
    for (const auto& [text, value] : {std::pair{"9600", 9600u}, {"115200", 115200u}}) {
        const auto index = SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        SendMessageA(combo, CB_SETITEMDATA, static_cast<WPARAM>(index), value);
    }
    EXPECT_EQ(0, ComboBoxGetSelectedData(combo, &value));
    EXPECT_EQ(0, ComboBoxSelectByData(combo, 9600));
    EXPECT_EQ(-1, ComboBoxSelectByData(combo, 57600));
    EXPECT_EQ(1, ComboBoxGetSelectedData(combo, &value));
    EXPECT_EQ(9600u, value);
}

TEST(Win32Toolbox, FileAndColourDialogsReportACancelAndTheChoice) {
    TestWindow window;
    // A cancelled colour pick keeps the colour.
    {
        DialogAnswer answer("Color", Cancel);
        EXPECT_EQ(RGB(1, 2, 3), PickColor(RGB(1, 2, 3), window.handle));
        EXPECT_TRUE(answer.Found());
    }

    TempDir dir;
    const char filter[] = "Logs (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";
    char file[260] = {};
    char title[260] = {};
    {
        DialogAnswer answer("Open log", Cancel);
        EXPECT_EQ(FALSE, ShowFileDialog(window.handle, FALSE, dir.Path().c_str(), file, title,
                                        "Open log", 1, filter, "txt"));
        EXPECT_TRUE(answer.Found());
    }
    // Saved under a typed name: the path, the name alone and the default
    // extension.
    {
        DialogAnswer answer("Save log", [](HWND dialog) {
            std::this_thread::sleep_for(milliseconds(300));
            HWND name = GetDlgItem(dialog, 0x47C);  // Explorer style
            if (name == nullptr)
                name = GetDlgItem(dialog, 0x480);  // the old style
            SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("session"));
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        });
        EXPECT_NE(FALSE, ShowFileDialog(window.handle, TRUE, dir.Path().c_str(), file, title,
                                        "Save log", 1, filter, "txt"));
        EXPECT_TRUE(answer.Found());
    }
    EXPECT_STREQ("session.txt", title);
    const std::string path = file;
    EXPECT_EQ("session.txt", path.substr(path.size() - 11)) << path;
}

TEST(Win32Toolbox, DialogListRoutesKeysToTheDialogTheyBelongTo) {
    TestWindow owner;
    // Two modeless dialogs from an in-memory template with one button each.
    struct {
        DLGTEMPLATE dialog;
        WORD menu, windowClass, title;
    } blank = {{WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, 100, 50}, 0, 0, 0};
    auto dialogProc = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; };
    HWND first =
        CreateDialogIndirectA(GetModuleHandleA(nullptr), &blank.dialog, owner.handle, dialogProc);
    HWND second =
        CreateDialogIndirectA(GetModuleHandleA(nullptr), &blank.dialog, owner.handle, dialogProc);
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, second);
    HWND button = CreateWindowExA(0, "BUTTON", "OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 40,
                                  20, second, nullptr, GetModuleHandleA(nullptr), nullptr);

    DialogList dialogs;
    MSG key = {button, WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    EXPECT_EQ(0, dialogs.RouteDialogMessage(&key)) << "an empty list takes nothing";
    dialogs.AddDialog(nullptr);  // skipped
    dialogs.AddDialog(first);
    dialogs.AddDialog(second);
    dialogs.AddDialog(second);
    EXPECT_EQ(1, dialogs.RouteDialogMessage(&key)) << "the second dialog's button";
    MSG elsewhere = {owner.handle, WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    EXPECT_EQ(0, dialogs.RouteDialogMessage(&elsewhere)) << "not a listed dialog's window";
    dialogs.RemoveDialog(second);
    EXPECT_EQ(0, dialogs.RouteDialogMessage(&key)) << "every entry of it removed";
    DestroyWindow(first);
    DestroyWindow(second);
}
