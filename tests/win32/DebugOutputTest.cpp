#include "diagnostics/win32/BKDebugOutput.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "devicelink/BKQuillex.h"
#include "serial/BKSerial.h"

namespace {

class DebugOutput : public ::testing::Test {
  protected:
    void SetUp() override {
        instance = GetModuleHandleA(nullptr);
        ASSERT_NE(0, RegisterDebugOutputClass(instance));
    }
    std::string Text() const {
        std::string text(GetWindowTextLengthA(output.EditHandle()) + 1, '\0');
        text.resize(
            GetWindowTextA(output.EditHandle(), text.data(), static_cast<int>(text.size())));
        return text;
    }
    // Handles the messages that have come, sent ones included.
    static void Pump() {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }

    HINSTANCE instance = nullptr;
    BKDebugOutput output;
};

}  // namespace

TEST_F(DebugOutput, OpensCentredAndShowsTheTraceOfDevicesAndPorts) {
    EXPECT_EQ(nullptr, output.EditHandle());
    HWND frame = output.Create(nullptr, instance);
    ASSERT_NE(nullptr, frame);
    EXPECT_EQ(frame, output.FrameHandle());
    ASSERT_NE(nullptr, output.EditHandle());
    char title[32] = {};
    GetWindowTextA(frame, title, sizeof title);
    EXPECT_STREQ("Debug Output", title);
    char className[32] = {};
    GetClassNameA(frame, className, sizeof className);
    EXPECT_STREQ("BKDEBUGOUTPUT", className);
    EXPECT_TRUE(GetWindowLongPtrA(frame, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(GetWindowLongPtrA(output.EditHandle(), GWL_STYLE) & ES_READONLY);
    RECT r;
    GetWindowRect(frame, &r);
    EXPECT_EQ(500, r.right - r.left);
    EXPECT_EQ(200, r.bottom - r.top);
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    EXPECT_EQ(desktop.left + (desktop.right - desktop.left) / 2 - 250, r.left);
    EXPECT_EQ(frame, output.Create(nullptr, instance)) << "one window: the open one again";
    BKDebugOutput other;
    EXPECT_EQ(nullptr, other.Create(nullptr, instance)) << "one debug output window per process";

    BKQuillex device;
    device.SetTraceTarget(output.Target());
    BKSerial serial;
    serial.SetTraceTarget(output.Target());
    device.SetReadTimeout(100);  // no port: traces its failure
    serial.Close();
    const std::string text = Text();
    EXPECT_NE(std::string::npos, text.find("BKQuillex")) << text;
    EXPECT_NE(std::string::npos, text.find("\r\nBKSerial: Port Closed")) << text;

    // Typed characters change nothing; "Clear" empties, and the next line
    // starts without a line break.
    SendMessageA(output.EditHandle(), WM_CHAR, 'x', 0);
    EXPECT_EQ(text, Text());
    SendMessageA(frame, WM_COMMAND, kDebugOutputClearCommand, 0);
    EXPECT_EQ("", Text());
    serial.Close();
    EXPECT_EQ("BKSerial: Port Closed", Text());

    // The control fills the client area after a resize.
    SetWindowPos(frame, nullptr, 0, 0, 640, 300, SWP_NOMOVE | SWP_NOZORDER);
    RECT client, edit;
    GetClientRect(frame, &client);
    GetWindowRect(output.EditHandle(), &edit);
    EXPECT_EQ(client.right, edit.right - edit.left);
    EXPECT_EQ(client.bottom, edit.bottom - edit.top);

    device.SetTraceTarget(nullptr);
    serial.SetTraceTarget(nullptr);
    SendMessageA(frame, WM_CLOSE, 0, 0);
    EXPECT_EQ(nullptr, output.FrameHandle());
    EXPECT_EQ(nullptr, output.EditHandle());
    EXPECT_EQ(0, output.Destroy());
}

TEST_F(DebugOutput, LinesFromAWorkerArriveWholeAndInOrderWhileTheWindowCloses) {
    HWND frame = output.Create(nullptr, instance);
    ASSERT_NE(nullptr, frame);
    BKSerial serial;
    serial.SetTraceTarget(output.Target());
    std::atomic<int> sent{0};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i) {
            Trace(output.Target(), "line %d", i);
            ++sent;
        }
        done = true;
    });
    // The window's thread keeps handling messages; it closes the window
    // half way, and the worker's later lines go nowhere without waiting.
    std::string seen;
    while (!done) {
        Pump();
        if (sent >= 100 && output.FrameHandle() != nullptr) {
            seen = Text();
            SendMessageA(frame, WM_CLOSE, 0, 0);
        }
    }
    worker.join();
    Pump();
    EXPECT_EQ(nullptr, output.FrameHandle());
    // Whole lines, in order, from the first on.
    size_t at = 0;
    for (int i = 0; at < seen.size(); ++i) {
        const std::string line = "line " + std::to_string(i);
        ASSERT_EQ(0u, seen.compare(at, line.size(), line)) << "at " << at;
        at += line.size();
        if (at < seen.size()) {
            ASSERT_EQ(0u, seen.compare(at, 2, "\r\n"));
            at += 2;
        }
    }
    EXPECT_FALSE(seen.empty());
    serial.SetTraceTarget(nullptr);
}
