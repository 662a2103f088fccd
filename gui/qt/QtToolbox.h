// The window toolbox on Qt widgets: menu check marks on checkable actions,
// rich-text appends, edit lines, and list and combo boxes whose items carry
// a 32-bit value (Qt::UserRole). The same operations, with the same
// results, as the Windows ones over menus and controls.
#pragma once

#include <QColor>
#include <QString>
#include <cstdint>
#include <functional>

class QAction;
class QComboBox;
class QListWidget;
class QTextEdit;
class QWidget;

// Sets or clears the check mark; returns the previous state (0 or 1), or -1
// without an action.
int SetMenuItemCheck(QAction* action, bool checked);
// 0 or 1; an action that is not there reads as checked, as a missing menu
// item does on Windows.
int IsMenuItemChecked(const QAction* action);
// Flips the mark and returns the new state.
int ToggleMenuItemCheck(QAction* action);

// Appends text after lineBreaks line breaks (none into an empty control),
// in bold and colour when asked; clearFirst empties the control before.
void RichAppendColoredText(QTextEdit* edit, const QString& text, int lineBreaks, bool clearFirst,
                           bool bold, QColor color);
// Replaces the text of one line (0-based); 0 when there is no such line.
int ReplaceEditLine(QTextEdit* edit, int line, const QString& text);
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

// The program's directory, with its separator at the end.
QString GetModuleDirectory();
