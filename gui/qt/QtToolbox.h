// The window toolbox on Qt widgets: placement of child widgets, menu check
// marks on checkable actions, rich-text appends, edit lines, list and combo
// boxes whose items carry a 32-bit value (Qt::UserRole), and the file and
// colour dialogs. The same operations, with the same results, as the
// Windows ones over windows, menus and controls (gui/win32/Win32Toolbox.h).
#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <cstdint>
#include <functional>

class QAction;
class QComboBox;
class QFileDialog;
class QListWidget;
class QTextCharFormat;
class QTextEdit;
class QWidget;

// Moves a child widget to the middle of its parent reference (a window to
// the middle of the screen when reference is null): half of each size,
// truncated toward zero; the size is kept.
void CenterWindowInClient(QWidget* window, const QWidget* reference);
// The widget's frame in parent's coordinates (the screen's when null).
QRect GetWindowRectInParent(const QWidget* window, const QWidget* parent);

// Sets or clears the check mark; returns the previous state (0 or 1), or -1
// without an action.
int SetMenuItemCheck(QAction* action, bool checked);
// 0 or 1; an action that is not there reads as checked, as a missing menu
// item does on Windows.
int IsMenuItemChecked(const QAction* action);
// Flips the mark and returns the new state.
int ToggleMenuItemCheck(QAction* action);

// Appends text after lineBreaks line breaks (none into an empty control),
// in format when given; clearFirst empties the control before.
void RichAppendText(QTextEdit* edit, const QString& text, int lineBreaks, bool clearFirst,
                    const QTextCharFormat* format);
// The same in bold (or not) and colour.
void RichAppendColoredText(QTextEdit* edit, const QString& text, int lineBreaks, bool clearFirst,
                           bool bold, QColor color);
// Replaces the text of one line (0-based), then gives the new text format
// when given; 0 when there is no such line.
int ReplaceEditLine(QTextEdit* edit, int line, const QString& text,
                    const QTextCharFormat* format = nullptr);
// Caret to the end without a selection (or everything selected), scrolled to
// the bottom.
void ScrollEditToEnd(QTextEdit* edit, bool selectAll);

// Replaces an item's text, keeping its value and, if it was selected, the
// selection; 0 without a list or an item at that index.
int ListBoxReplaceString(QListWidget* list, int index, const QString& text);
// Selects the first item carrying value; its index, or -1 (selection kept).
int ListBoxSelectByData(QListWidget* list, uint32_t value);
// The selected item's value; 0 when nothing is selected (*value untouched).
int ListBoxGetSelectedData(const QListWidget* list, uint32_t* value);
int ComboBoxSelectByData(QComboBox* combo, uint32_t value);
int ComboBoxGetSelectedData(const QComboBox* combo, uint32_t* value);

// The colour picker: the chosen colour, or the initial one when cancelled.
// Its 16 custom colours live as long as the process. chooser stands in for
// the dialog in tests (returns an invalid colour for a cancel).
using ColorChooser = std::function<QColor(QColor initial, QWidget* owner)>;
QColor PickColor(QColor initial, QWidget* owner, const ColorChooser& chooser = {});

// The open (or, with save, the save) dialog in initialDirectory, with name
// filters such as "Logs (*.txt)" separated by ";;", and defaultSuffix added
// to a name typed without one. True with the chosen path when confirmed.
// shown, when given, sees the dialog before it runs (tests answer it).
bool ShowFileDialog(QWidget* owner, bool save, const QString& initialDirectory,
                    const QString& title, const QString& filter, const QString& defaultSuffix,
                    QString* path, const std::function<void(QFileDialog*)>& shown = {});

// The program's directory, with its separator at the end.
QString GetModuleDirectory();
