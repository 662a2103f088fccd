#include "diagnostics/qt/BKDebugOutput.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>
#include <atomic>
#include <thread>

#include "devicelink/BKQuillex.h"
#include "serial/BKSerial.h"

namespace {

class DebugOutput : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(0, RegisterDebugOutputClass()); }
    QString Text() const { return output.EditHandle()->toPlainText(); }
    void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
               const QString& text = QString()) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(output.EditHandle(), &press);
    }
    // Right-clicks the text control and picks the menu's only item.
    QStringList RightClickAndPickClear() {
        QStringList items;
        QTimer::singleShot(0, [&items] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu == nullptr)
                return;
            for (QAction* action : menu->actions())
                items << action->text() + "=" + action->data().toString();
            menu->setActiveAction(menu->actions().value(0));
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(menu, &enter);
        });
        QWidget* viewport = output.EditHandle()->viewport();
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5),
                                viewport->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(viewport, &click);
        return items;
    }

    BKDebugOutput output;
};

}  // namespace

TEST_F(DebugOutput, OpensCentredAndShowsTheTraceOfDevicesAndPorts) {
    EXPECT_EQ(nullptr, output.EditHandle());
    QWidget* frame = output.Create(nullptr);
    ASSERT_NE(nullptr, frame);
    EXPECT_EQ(frame, output.FrameHandle());
    ASSERT_NE(nullptr, output.EditHandle());
    EXPECT_EQ("Debug Output", frame->windowTitle());
    EXPECT_TRUE(frame->windowFlags() & Qt::Tool);
    EXPECT_EQ(QSize(500, 200), frame->size());
    const QRect desktop = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(desktop.left() + desktop.width() / 2 - 250, frame->x());
    EXPECT_EQ(desktop.top() + desktop.height() / 2 - 100, frame->y());
    EXPECT_EQ("Courier", output.EditHandle()->font().family());
    EXPECT_EQ(14, output.EditHandle()->font().pixelSize());
    EXPECT_EQ(frame, output.Create(nullptr)) << "one window: the open one again";
    BKDebugOutput other;
    EXPECT_EQ(nullptr, other.Create(nullptr)) << "one debug output window per process";

    BKQuillex device;
    device.SetTraceTarget(output.Target());
    BKSerial serial;
    serial.SetTraceTarget(output.Target());
    device.SetReadTimeout(100);  // no port: traces its failure
    serial.Close();
    TraceHexDump(output.Target(), "Write Port", reinterpret_cast<const uint8_t*>("VV"), 2);
    EXPECT_EQ(
        "BKQuillex: Comm Read Timeout Set Failed with -2\nBKSerial: Port Closed\n"
        "Write Port\n0000: 56 56 " +
            QString(42, ' ') + "VV",
        Text());

    frame->resize(640, 300);
    QApplication::processEvents();
    EXPECT_EQ(frame->rect(), output.EditHandle()->geometry()) << "fills the client area";
    device.SetTraceTarget(nullptr);
    serial.SetTraceTarget(nullptr);
}

TEST_F(DebugOutput, ClearMenuTypingAndCopying) {
    ASSERT_NE(nullptr, output.Create(nullptr));
    Trace(output.Target(), "first");
    Trace(output.Target(), "second");

    for (int key :
         {int(Qt::Key_A), int(Qt::Key_Backspace), int(Qt::Key_Delete), int(Qt::Key_Return)})
        Press(key, Qt::NoModifier, key == Qt::Key_A ? "a" : QString());
    QApplication::clipboard()->setText("pasted");
    Press(Qt::Key_V, Qt::ControlModifier);
    output.EditHandle()->selectAll();
    Press(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ("first\nsecond", Text()) << "typing, cutting and pasting change nothing";

    output.EditHandle()->selectAll();
    Press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ("first\nsecond", QApplication::clipboard()->text()) << "Ctrl+C copies";

    EXPECT_EQ(QStringList{"Clear=100"}, RightClickAndPickClear());
    EXPECT_EQ("", Text());
    Trace(output.Target(), "after clear");
    EXPECT_EQ("after clear", Text()) << "no line break before the first line";
}

TEST_F(DebugOutput, ClosingOrDestroyingForgetsTheWindow) {
    QWidget owner;
    QWidget* frame = output.Create(&owner);
    ASSERT_NE(nullptr, frame);
    EXPECT_EQ(1, output.Hide());
    EXPECT_EQ(0, output.Show()) << "it was hidden";
    EXPECT_EQ(1, output.Show());

    frame->close();
    EXPECT_EQ(nullptr, output.FrameHandle());
    EXPECT_EQ(nullptr, output.EditHandle());
    Trace(output.Target(), "nobody sees this");  // must not touch the closed window
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(0, output.Destroy());
    EXPECT_EQ(0, output.Show());

    ASSERT_NE(nullptr, output.Create(&owner)) << "a closed window can be opened again";
    EXPECT_EQ("", Text());
    EXPECT_EQ(0, output.Destroy());
    EXPECT_EQ(nullptr, output.FrameHandle());

    {
        QWidget shortLived;
        ASSERT_NE(nullptr, output.Create(&shortLived));
    }
    EXPECT_EQ(nullptr, output.FrameHandle()) << "destroyed with its owner";
    EXPECT_EQ(nullptr, output.EditHandle());
}

TEST_F(DebugOutput, LinesFromAWorkerArriveWholeAndInOrderWhileTheWindowCloses) {
    QWidget* frame = output.Create(nullptr);
    ASSERT_NE(nullptr, frame);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i)
            Trace(output.Target(), "line %d", i);
        done = true;
    });
    while (!done)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    worker.join();
    const QStringList lines = Text().split('\n');
    ASSERT_EQ(50, lines.size());
    EXPECT_EQ("line 0", lines.front());
    EXPECT_EQ("line 49", lines.back());

    // The GUI thread tracing too while a worker waits for it to take a line.
    output.EditHandle()->clear();
    done = false;
    std::thread busy([&] {
        for (int i = 0; i < 100; ++i)
            Trace(output.Target(), "worker %d", i);
        done = true;
    });
    for (int i = 0; i < 100; ++i) {
        Trace(output.Target(), "gui %d", i);
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    while (!done)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    busy.join();
    EXPECT_EQ(200, Text().split('\n').size()) << "no line lost, none merged";

    // A worker still tracing while the user closes the window.
    done = false;
    std::thread tracer([&] {
        for (int i = 0; i < 200; ++i)
            Trace(output.Target(), "late %d", i);
        done = true;
    });
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    frame->close();
    while (!done)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    tracer.join();
    EXPECT_EQ(nullptr, output.EditHandle());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
