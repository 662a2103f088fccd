#include "gui/qt/QtToolbox.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QListWidget>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

#include "tests/support/TempDir.h"

TEST(QtToolbox, MenuChecksToggleFromUncheckedToOneThenZero) {
    QAction action("Trace");
    EXPECT_EQ(0, IsMenuItemChecked(&action));
    EXPECT_EQ(1, ToggleMenuItemCheck(&action));
    EXPECT_EQ(0, ToggleMenuItemCheck(&action));
    EXPECT_EQ(0, SetMenuItemCheck(&action, true)) << "the previous state";
    EXPECT_EQ(1, SetMenuItemCheck(&action, false));
    EXPECT_EQ(1, IsMenuItemChecked(nullptr)) << "a missing item reads as checked";
}

TEST(QtToolbox, ListAndComboItemsByTheirValues) {
    QListWidget list;
    for (uint32_t value : {10u, 20u, 30u}) {
        auto* item = new QListWidgetItem(QString::number(value), &list);
        item->setData(Qt::UserRole, value);
    }
    uint32_t value = 99;
    EXPECT_EQ(0, ListBoxGetSelectedData(&list, &value));
    EXPECT_EQ(99u, value) << "untouched without a selection";
    EXPECT_EQ(1, ListBoxSelectByData(&list, 20));
    EXPECT_EQ(-1, ListBoxSelectByData(&list, 25));
    EXPECT_EQ(1, list.currentRow()) << "a miss keeps the selection";
    EXPECT_EQ(1, ListBoxReplaceString(&list, 1, "twenty"));
    EXPECT_EQ("twenty", list.item(1)->text());
    EXPECT_EQ(1, ListBoxGetSelectedData(&list, &value));
    EXPECT_EQ(20u, value) << "the replaced item keeps its value and stays selected";
    EXPECT_EQ(0, ListBoxReplaceString(&list, 7, "none"));

    QComboBox combo;
    combo.addItem("a", 5u);
    combo.addItem("b", 6u);
    EXPECT_EQ(1, ComboBoxSelectByData(&combo, 6));
    EXPECT_EQ(-1, ComboBoxSelectByData(&combo, 7));
    EXPECT_EQ(1, ComboBoxGetSelectedData(&combo, &value));
    EXPECT_EQ(6u, value);
}

TEST(QtToolbox, RichAppendLinesAndScrolling) {
    QTextEdit edit;
    RichAppendColoredText(&edit, "first", 2, false, true, QColor(Qt::red));
    EXPECT_EQ("first", edit.toPlainText()) << "no line breaks into an empty control";
    RichAppendColoredText(&edit, "second", 2, false, false, QColor(Qt::blue));
    EXPECT_EQ("first\n\nsecond", edit.toPlainText());
    QTextCursor cursor(edit.document()->findBlockByNumber(0));
    cursor.movePosition(QTextCursor::Right);
    EXPECT_EQ(QFont::Bold, cursor.charFormat().fontWeight());
    EXPECT_EQ(QColor(Qt::red), cursor.charFormat().foreground().color());

    EXPECT_EQ(1, ReplaceEditLine(&edit, 2, "third"));
    EXPECT_EQ("first\n\nthird", edit.toPlainText());
    EXPECT_EQ(0, ReplaceEditLine(&edit, 9, "none"));
    ScrollEditToEnd(&edit, false);
    EXPECT_FALSE(edit.textCursor().hasSelection());
    EXPECT_TRUE(edit.textCursor().atEnd());
    ScrollEditToEnd(&edit, true);
    EXPECT_EQ(edit.toPlainText().size(), edit.textCursor().selectedText().size())
        << "everything selected";
    RichAppendColoredText(&edit, "fresh", 1, true, false, QColor(Qt::black));
    EXPECT_EQ("fresh", edit.toPlainText());
}

TEST(QtToolbox, ACancelledColourPickKeepsTheColour) {
    const QColor initial(10, 20, 30);
    EXPECT_EQ(initial, PickColor(initial, nullptr, [](QColor, QWidget*) { return QColor(); }));
    EXPECT_EQ(QColor(Qt::green),
              PickColor(initial, nullptr, [](QColor, QWidget*) { return QColor(Qt::green); }));
    const QString directory = GetModuleDirectory();
    EXPECT_TRUE(directory.endsWith(QDir::separator())) << directory.toStdString();
}

TEST(QtToolbox, PlacesChildWidgetsInTheirParent) {
    QWidget parent;
    parent.resize(401, 300);
    QWidget child(&parent);
    child.setGeometry(10, 20, 100, 50);
    EXPECT_EQ(QRect(10, 20, 100, 50), GetWindowRectInParent(&child, &parent));
    CenterWindowInClient(&child, &parent);
    EXPECT_EQ(QRect(150, 125, 100, 50), GetWindowRectInParent(&child, &parent))
        << "401 / 2 - 100 / 2, truncated";
    EXPECT_EQ(QRect(), GetWindowRectInParent(nullptr, &parent));
}

TEST(QtToolbox, FormattedAppendsAndLineReplacement) {
    QTextEdit edit;
    QTextCharFormat italic;
    italic.setFontItalic(true);
    RichAppendText(&edit, "plain", 1, false, nullptr);
    RichAppendText(&edit, "slanted", 1, false, &italic);
    EXPECT_EQ("plain\nslanted", edit.toPlainText());
    QTextCursor cursor(edit.document()->findBlockByNumber(1));
    cursor.movePosition(QTextCursor::Right);
    EXPECT_TRUE(cursor.charFormat().fontItalic());

    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    EXPECT_EQ(1, ReplaceEditLine(&edit, 0, "heavy", &bold));
    EXPECT_EQ("heavy\nslanted", edit.toPlainText());
    QTextCursor first(edit.document()->findBlockByNumber(0));
    first.movePosition(QTextCursor::Right);
    EXPECT_EQ(QFont::Bold, first.charFormat().fontWeight());
}

TEST(QtToolbox, FileDialogsOpenAnExistingFileAndSaveWithTheDefaultSuffix) {
    TempDir dir;
    const QString folder = QString::fromStdString(dir.Path());
    QString path;
    // A save under a typed name gets the default suffix.
    EXPECT_TRUE(ShowFileDialog(nullptr, true, folder, "Save log", "Logs (*.txt)", "txt", &path,
                               [&](QFileDialog* dialog) {
                                   EXPECT_EQ(QFileDialog::AcceptSave, dialog->acceptMode());
                                   EXPECT_EQ("Save log", dialog->windowTitle());
                                   dialog->setOption(QFileDialog::DontUseNativeDialog);
                                   QTimer::singleShot(0, dialog, [dialog] {
                                       dialog->selectFile("session");
                                       // Public as a QDialog; runs the file dialog's own.
                                       static_cast<QDialog*>(dialog)->accept();
                                   });
                               }));
    EXPECT_TRUE(path.endsWith("session.txt")) << path.toStdString();
    // A cancel leaves the path alone.
    EXPECT_FALSE(ShowFileDialog(nullptr, false, folder, "Open log", "Logs (*.txt)", "txt", &path,
                                [](QFileDialog* dialog) {
                                    EXPECT_EQ(QFileDialog::ExistingFile, dialog->fileMode());
                                    QTimer::singleShot(0, dialog, &QFileDialog::reject);
                                }));
    EXPECT_TRUE(path.endsWith("session.txt"));
}
