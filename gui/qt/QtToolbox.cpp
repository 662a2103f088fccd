#include "gui/qt/QtToolbox.h"

#include <QAction>
#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QListWidget>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

void CenterWindowInClient(QWidget* window, const QWidget* reference) {
    if (window == nullptr)
        return;
    QSize area;
    if (reference != nullptr) {
        area = reference->size();
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->geometry().size();
    }
    // In the parent's coordinates: for child widgets of reference (and
    // windows on the screen, with no reference).
    window->move(area.width() / 2 - window->width() / 2, area.height() / 2 - window->height() / 2);
}

QRect GetWindowRectInParent(const QWidget* window, const QWidget* parent) {
    if (window == nullptr)
        return {};
    const QPoint topLeft =
        window->isWindow() ? window->frameGeometry().topLeft() : window->mapToGlobal(QPoint());
    const QPoint inParent = parent != nullptr ? parent->mapFromGlobal(topLeft) : topLeft;
    return QRect(inParent, window->frameGeometry().size());
}

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

void RichAppendText(QTextEdit* edit, const QString& text, int lineBreaks, bool clearFirst,
                    const QTextCharFormat* format) {
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
    if (format != nullptr)
        cursor.insertText(text, *format);
    else
        cursor.insertText(text);
}

void RichAppendColoredText(QTextEdit* edit, const QString& text, int lineBreaks, bool clearFirst,
                           bool bold, QColor color) {
    QTextCharFormat format;
    format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    format.setForeground(color);
    RichAppendText(edit, text, lineBreaks, clearFirst, &format);
}

int ReplaceEditLine(QTextEdit* edit, int line, const QString& text, const QTextCharFormat* format) {
    if (edit == nullptr)
        return 0;
    const QTextBlock block = edit->document()->findBlockByNumber(line);
    if (!block.isValid())
        return 0;
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(text);
    if (format != nullptr) {
        cursor.setPosition(block.position());
        cursor.setPosition(block.position() + static_cast<int>(text.size()),
                           QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(*format);
    }
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

bool ShowFileDialog(QWidget* owner, bool save, const QString& initialDirectory,
                    const QString& title, const QString& filter, const QString& defaultSuffix,
                    QString* path, const std::function<void(QFileDialog*)>& shown) {
    QFileDialog dialog(owner, title, initialDirectory, filter);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Open: the file must exist; save: ask before replacing one.
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(defaultSuffix);
    if (shown)
        shown(&dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    *path = QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
    return true;
}

QString GetModuleDirectory() {
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + "/");
}
