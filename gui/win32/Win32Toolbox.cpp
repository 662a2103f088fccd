#include "gui/win32/Win32Toolbox.h"

// After <windows.h>:
#include <commdlg.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr DWORD kPathCapacity = 260;

// The custom colours of the colour dialog, for the whole process.
COLORREF g_customColors[16] = {};

// Items of list and combo boxes by value: the two differ only in their
// message numbers.
struct ItemMessages {
    UINT getCount, getData, setCurrent, getCurrent;
};
constexpr ItemMessages kListBox = {LB_GETCOUNT, LB_GETITEMDATA, LB_SETCURSEL, LB_GETCURSEL};
constexpr ItemMessages kComboBox = {CB_GETCOUNT, CB_GETITEMDATA, CB_SETCURSEL, CB_GETCURSEL};

int SelectByData(HWND control, uint32_t value, const ItemMessages& m) {
    const LRESULT count = SendMessageA(control, m.getCount, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        if (static_cast<uint32_t>(SendMessageA(control, m.getData, i, 0)) == value) {
            SendMessageA(control, m.setCurrent, i, 0);
            return static_cast<int>(i);
        }
    }
    return -1;
}

int GetSelectedData(HWND control, uint32_t* value, const ItemMessages& m) {
    const LRESULT selected = SendMessageA(control, m.getCurrent, 0, 0);
    if (selected < 0)
        return 0;
    if (value != nullptr)
        *value = static_cast<uint32_t>(SendMessageA(control, m.getData, selected, 0));
    return 1;
}

void SelectRange(HWND control, LONG start, LONG end) {
    CHARRANGE range = {start, end};
    SendMessageA(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

LRESULT InsertAtSelection(HWND control, const char* text) {
    SETTEXTEX how = {ST_SELECTION, CP_ACP};
    return SendMessageA(control, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&how),
                        reinterpret_cast<LPARAM>(text));
}

}  // namespace

BOOL CenterWindowInClient(HWND window, HWND reference) {
    if (reference == nullptr)
        reference = GetDesktopWindow();
    RECT self;
    RECT outer;
    if (!GetClientRect(window, &self) || !GetClientRect(reference, &outer))
        return FALSE;
    const int x = (outer.right - outer.left) / 2 - (self.right - self.left) / 2;
    const int y = (outer.bottom - outer.top) / 2 - (self.bottom - self.top) / 2;
    return SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL GetWindowRectInParent(HWND window, HWND parent, RECT* rect) {
    if (!GetWindowRect(window, rect))
        return FALSE;
    if (parent == nullptr)
        parent = GetDesktopWindow();
    POINT corners[2] = {{rect->left, rect->top}, {rect->right, rect->bottom}};
    if (!ScreenToClient(parent, &corners[0]) || !ScreenToClient(parent, &corners[1]))
        return FALSE;
    *rect = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    return TRUE;
}

DWORD SetMenuItemCheck(HMENU menu, UINT command, BOOL checked) {
    return CheckMenuItem(menu, command, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

int IsMenuItemChecked(HMENU menu, UINT command) {
    return (GetMenuState(menu, command, MF_BYCOMMAND) & MF_CHECKED) != 0 ? 1 : 0;
}

int ToggleMenuItemCheck(HMENU menu, UINT command) {
    const int checked = IsMenuItemChecked(menu, command) ? 0 : 1;
    SetMenuItemCheck(menu, command, checked);
    return checked;
}

LRESULT RichAppendText(HWND control, const char* text, int lineBreaks, BOOL clearFirst,
                       CHARFORMAT2A* format) {
    if (clearFirst)
        SetWindowTextA(control, "");
    GETTEXTLENGTHEX how = {GTL_NUMCHARS, CP_ACP};
    const auto length = static_cast<LONG>(
        SendMessageA(control, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&how), 0));
    SelectRange(control, length, length);
    if (length > 0) {
        // A rich-edit control keeps a line break as one character.
        for (int i = 0; i < lineBreaks; ++i)
            InsertAtSelection(control, "\r\n");
        SelectRange(control, length + lineBreaks, length + lineBreaks);
    }
    if (format != nullptr)
        SendMessageA(control, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(format));
    return InsertAtSelection(control, text);
}

LRESULT RichAppendColoredText(HWND control, const char* text, int lineBreaks, BOOL clearFirst,
                              BOOL bold, COLORREF color) {
    CHARFORMAT2A format;
    std::memset(&format, 0, sizeof format);
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR | CFM_BOLD;
    format.dwEffects = bold ? CFE_BOLD : 0;
    format.crTextColor = color;
    return RichAppendText(control, text, lineBreaks, clearFirst, &format);
}

int ReplaceEditLine(HWND control, int line, const char* text, CHARFORMAT2A* format) {
    if (text == nullptr)
        return 0;
    const LRESULT start = SendMessageA(control, EM_LINEINDEX, static_cast<WPARAM>(line), 0);
    if (start == -1)
        return 0;
    const LRESULT length = SendMessageA(control, EM_LINELENGTH, static_cast<WPARAM>(start), 0);
    SendMessageA(control, EM_SETSEL, static_cast<WPARAM>(start), start + length);
    SendMessageA(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    if (format != nullptr) {
        SendMessageA(control, EM_SETSEL, static_cast<WPARAM>(start),
                     start + static_cast<LPARAM>(std::strlen(text)));
        SendMessageA(control, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(format));
    }
    return 1;
}

LRESULT ScrollEditToEnd(HWND control, BOOL selectAll) {
    const int length = GetWindowTextLengthA(control);
    if (selectAll) {
        SendMessageA(control, EM_SETSEL, 0, -1);
    } else {
        SendMessageA(control, EM_SETSEL, static_cast<WPARAM>(-1), length);
        SendMessageA(control, EM_SETSEL, static_cast<WPARAM>(length), length);
    }
    return SendMessageA(control, WM_VSCROLL, SB_BOTTOM, 0);
}

int ListBoxReplaceString(HWND list, int index, const char* text) {
    if (list == nullptr)
        return 0;
    const LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
    const LRESULT data = SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(index), 0);
    SendMessageA(list, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
    SendMessageA(list, LB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(index), data);
    if (selected == index)
        SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    return 1;
}

int ListBoxSelectByData(HWND list, uint32_t value) {
    return SelectByData(list, value, kListBox);
}

int ListBoxGetSelectedData(HWND list, uint32_t* value) {
    return GetSelectedData(list, value, kListBox);
}

int ComboBoxSelectByData(HWND combo, uint32_t value) {
    return SelectByData(combo, value, kComboBox);
}

int ComboBoxGetSelectedData(HWND combo, uint32_t* value) {
    return GetSelectedData(combo, value, kComboBox);
}

BOOL ShowFileDialog(HWND owner, BOOL save, const char* initialDirectory, char* file,
                    char* fileTitle, const char* title, DWORD filterIndex, const char* filter,
                    const char* defaultExtension) {
    OPENFILENAMEA ofn;
    std::memset(&ofn, 0, sizeof ofn);
    // The original record without the Windows 2000 additions (76 bytes in a
    // 32-bit program).
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = filterIndex;
    ofn.lpstrFile = file;
    ofn.nMaxFile = kPathCapacity;
    ofn.lpstrFileTitle = fileTitle;
    ofn.nMaxFileTitle = fileTitle != nullptr ? kPathCapacity : 0;
    ofn.lpstrInitialDir = initialDirectory;
    ofn.lpstrTitle = title;
    ofn.lpstrDefExt = defaultExtension;
    ofn.Flags = OFN_CREATEPROMPT | OFN_OVERWRITEPROMPT;
    return save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
}

COLORREF PickColor(COLORREF initial, HWND owner) {
    CHOOSECOLORA choice;
    std::memset(&choice, 0, sizeof choice);
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = owner;
    choice.rgbResult = initial;
    choice.lpCustColors = g_customColors;
    choice.Flags = CC_RGBINIT | CC_FULLOPEN | CC_SOLIDCOLOR | CC_ANYCOLOR;
    return ChooseColorA(&choice) ? choice.rgbResult : initial;
}

void DialogList::AddDialog(HWND dialog) {
    dialogs_.push_back(dialog);
}

void DialogList::RemoveDialog(HWND dialog) {
    dialogs_.erase(std::remove(dialogs_.begin(), dialogs_.end(), dialog), dialogs_.end());
}

int DialogList::RouteDialogMessage(MSG* message) {
    for (HWND dialog : dialogs_) {
        if (dialog != nullptr && IsDialogMessageA(dialog, message))
            return 1;
    }
    return 0;
}
