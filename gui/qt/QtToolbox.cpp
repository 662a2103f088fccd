#include "gui/qt/QtToolbox.h"

#include <QAction>
#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QListWidget>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

int SetMenuItemCheck(QAction* action, bool checked) {
    if (action == nullptr)
        return -1;
    const int previous = action->isChecked() ? 1 : 0;
    action->setCheckable(true);
    action->setChecked(checked);
    return previous;
}

int IsMenuItemChecked(const QAction* action) {
    return action == nullptr || action->isChecked() ? 1 : 0;
}

int ToggleMenuItemCheck(QAction* action) {
    if (action == nullptr)
        return 0;
    SetMenuItemCheck(action, !action->isChecked());
    return action->isChecked() ? 1 : 0;
}

void RichAppendColoredText(QTextEdit* edit, const QString& text, int lineBreaks, bool clearFirst,
                           bool bold, QColor color) {
    if (edit == nullptr)
        return;
    if (clearFirst)
        edit->clear();
    QTextCursor cursor(edit->document());
    cursor.movePosition(QTextCursor::End);
    if (!edit->document()->isEmpty()) {
        for (int i = 0; i < lineBreaks; ++i)
            cursor.insertBlock();
    }
    QTextCharFormat format;
    format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    format.setForeground(color);
    cursor.insertText(text, format);
}

int ReplaceEditLine(QTextEdit* edit, int line, const QString& text) {
    if (edit == nullptr)
        return 0;
    const QTextBlock block = edit->document()->findBlockByNumber(line);
    if (!block.isValid())
        return 0;
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(text);
    return 1;
}

void ScrollEditToEnd(QTextEdit* edit, bool selectAll) {
    if (edit == nullptr)
        return;
    QTextCursor cursor(edit->document());
    if (selectAll) {
        cursor.select(QTextCursor::Document);
    } else {
        cursor.movePosition(QTextCursor::End);
    }
    edit->setTextCursor(cursor);
    edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
}

int ListBoxReplaceString(QListWidget* list, int index, const QString& text) {
    if (list == nullptr || list->item(index) == nullptr)
        return 0;
    // The item itself keeps its value and selection; only the text changes.
    list->item(index)->setText(text);
    return 1;
}

int ListBoxSelectByData(QListWidget* list, uint32_t value) {
    if (list == nullptr)
        return -1;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->data(Qt::UserRole).toUInt() == value) {
            list->setCurrentRow(i);
            return i;
        }
    }
    return -1;
}

int ListBoxGetSelectedData(const QListWidget* list, uint32_t* value) {
    if (list == nullptr || list->currentItem() == nullptr || !list->currentItem()->isSelected())
        return 0;
    if (value != nullptr)
        *value = list->currentItem()->data(Qt::UserRole).toUInt();
    return 1;
}

int ComboBoxSelectByData(QComboBox* combo, uint32_t value) {
    if (combo == nullptr)
        return -1;
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemData(i).toUInt() == value) {
            combo->setCurrentIndex(i);
            return i;
        }
    }
    return -1;
}

int ComboBoxGetSelectedData(const QComboBox* combo, uint32_t* value) {
    if (combo == nullptr || combo->currentIndex() < 0)
        return 0;
    if (value != nullptr)
        *value = combo->currentData().toUInt();
    return 1;
}

QColor PickColor(QColor initial, QWidget* owner, const ColorChooser& chooser) {
    // QColorDialog keeps its custom colours for the life of the process.
    const QColor chosen = chooser ? chooser(initial, owner)
                                  : QColorDialog::getColor(initial, owner, QString(),
                                                           QColorDialog::ColorDialogOptions());
    return chosen.isValid() ? chosen : initial;
}

QString GetModuleDirectory() {
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + "/");
}
