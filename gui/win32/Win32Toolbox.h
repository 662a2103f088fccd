// The window toolbox on Win32: placement of child windows, menu check
// marks, rich-text and edit-control text, list and combo boxes whose items
// carry a 32-bit value, the file and colour dialogs, and a list of modeless
// dialogs that get their keyboard messages. Every call runs on the thread
// that owns the windows. The Qt forms are in gui/qt/QtToolbox.h.
#pragma once

#include <windows.h>

// After <windows.h>:
#include <richedit.h>

#include <cstdint>
#include <vector>

// Moves window to the middle of reference's client area (the desktop when
// null), by the two client rectangles, halves truncated toward zero;
// without resizing, activating it or changing its Z order.
BOOL CenterWindowInClient(HWND window, HWND reference);
// The window's rectangle in parent's client coordinates (the desktop's
// when null).
BOOL GetWindowRectInParent(HWND window, HWND parent, RECT* rect);

// The previous state (MF_CHECKED or MF_UNCHECKED), or (DWORD)-1 when the
// menu has no such command.
DWORD SetMenuItemCheck(HMENU menu, UINT command, BOOL checked);
// 0 or 1; a command that is not in the menu reads as checked (the system
// answers with all bits set).
int IsMenuItemChecked(HMENU menu, UINT command);
// Flips the mark; the new state.
int ToggleMenuItemCheck(HMENU menu, UINT command);

// Appends text to a rich-edit control after lineBreaks line breaks (none
// into an empty control), in format when given; clearFirst empties the
// control first. The result of the text insertion.
LRESULT RichAppendText(HWND control, const char* text, int lineBreaks, BOOL clearFirst,
                       CHARFORMAT2A* format);
LRESULT RichAppendColoredText(HWND control, const char* text, int lineBreaks, BOOL clearFirst,
                              BOOL bold, COLORREF color);
// Replaces the text of one line (0-based) of an edit or rich-edit control,
// not undoable, then applies format to the new text when given. 0 without
// text or such a line, else 1.
int ReplaceEditLine(HWND control, int line, const char* text, CHARFORMAT2A* format);
// Caret to the end without a selection (or everything selected), then
// scrolled to the bottom; the scroll message's result.
LRESULT ScrollEditToEnd(HWND control, BOOL selectAll);

// Replaces an item's text, keeping its value and, if it was selected, the
// selection; 0 without a list box.
int ListBoxReplaceString(HWND list, int index, const char* text);
// Selects the first item carrying value; its index, or -1 (selection kept).
int ListBoxSelectByData(HWND list, uint32_t value);
// The selected item's value; 0 when nothing is selected (*value untouched).
int ListBoxGetSelectedData(HWND list, uint32_t* value);
int ComboBoxSelectByData(HWND combo, uint32_t value);
int ComboBoxGetSelectedData(HWND combo, uint32_t* value);

// The open (or, with save, the save) dialog over a 260-character file
// buffer and a 260-character title buffer (or none); filter holds
// "description\0pattern\0...\0\0". Non-zero when the user confirmed.
BOOL ShowFileDialog(HWND owner, BOOL save, const char* initialDirectory, char* file,
                    char* fileTitle, const char* title, DWORD filterIndex, const char* filter,
                    const char* defaultExtension);
// The colour dialog, fully open at initial: the chosen colour, or initial
// when cancelled. Its 16 custom colours live as long as the process.
COLORREF PickColor(COLORREF initial, HWND owner);

// Modeless dialogs that get their keyboard messages (Tab, Enter, Escape,
// mnemonics) from the message loop: RouteDialogMessage before dispatching.
class DialogList {
  public:
    void AddDialog(HWND dialog);
    // Removes every entry of the handle.
    void RemoveDialog(HWND dialog);
    // 1 when a listed dialog took the message (it is then handled), else 0.
    int RouteDialogMessage(MSG* message);

  private:
    std::vector<HWND> dialogs_;
};
