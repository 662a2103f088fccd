#include "gui/qt/QtToolbox.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QTextBlock>
#include <QTextEdit>

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
