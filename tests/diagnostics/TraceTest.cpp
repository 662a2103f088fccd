#include "diagnostics/Trace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "diagnostics/TextBuffer.h"

using ::testing::ElementsAre;

TEST(Trace, NoTargetOrNoControlDoesNothing) {
    Trace(nullptr, "%s", "x");
    TraceSink detached;
    Trace(&detached, "%s", "x");
    TraceHexDump(&detached, "label", reinterpret_cast<const uint8_t*>("ab"), 2);

    TextBuffer control;
    TraceSink sink(&control);
    sink.SetEditControl(nullptr);  // the window went away
    Trace(&sink, "line");
    EXPECT_EQ(0, control.CallCount());
}

TEST(Trace, SeparatorsGoBeforeEveryLineButTheFirst) {
    TextBuffer control;
    TraceSink sink(&control);
    Trace(&sink, "first %d", 1);
    EXPECT_EQ("first 1", control.Text());
    Trace(&sink, "second");
    EXPECT_EQ("first 1\r\nsecond", control.Text());
    Trace(&sink, "%s", "");
    EXPECT_EQ("first 1\r\nsecond\r\n", control.Text()) << "an empty line still adds a separator";

    control.Clear();
    Trace(&sink, "after clear");
    EXPECT_EQ("after clear", control.Text());

    TextBuffer empty;
    TraceSink emptySink(&empty);
    Trace(&emptySink, "%s", "");
    EXPECT_EQ("", empty.Text());
}

TEST(Trace, LongLinesAreCutTo4095Characters) {
    TextBuffer control;
    TraceSink sink(&control);
    std::string longText(5000, 'a');
    longText[4094] = 'b';
    Trace(&sink, "%s", longText.c_str());
    std::string shown = control.Text();
    ASSERT_EQ(4095u, shown.size());
    EXPECT_EQ('b', shown.back());
}

TEST(AppendEditText, LineBreakCountAndClearing) {
    TextBuffer control;
    AppendEditText(&control, "a", 3, false);
    EXPECT_EQ("a", control.Text()) << "no separators into an empty control";
    AppendEditText(&control, "b", 2, false);
    EXPECT_EQ("a\r\n\r\nb", control.Text());
    AppendEditText(&control, "c", -1, false);
    EXPECT_EQ("a\r\n\r\nbc", control.Text());
    AppendEditText(&control, "d", 1, true);
    EXPECT_EQ("d", control.Text());
    AppendEditText(nullptr, "e", 1, false);
}

TEST(TraceHexDump, LineLayout) {
    TextBuffer control;
    TraceSink sink(&control);
    const uint8_t three[] = {0x41, 0x00, 0x7F};
    TraceHexDump(&sink, nullptr, three, 3);
    EXPECT_THAT(control.Lines(), ElementsAre("0000: 41 00 7F " + std::string(39, ' ') + "A.."));

    control.Clear();
    uint8_t bytes[32];
    for (int i = 0; i < 32; ++i)
        bytes[i] = static_cast<uint8_t>(i);
    TraceHexDump(&sink, "Read Port", bytes + 16, 16);
    EXPECT_THAT(
        control.Lines(),
        ElementsAre("Read Port",
                    "0000: 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F ................"));

    control.Clear();
    uint8_t seventeen[17];
    for (int i = 0; i < 17; ++i)
        seventeen[i] = static_cast<uint8_t>(0x20 + i);
    TraceHexDump(&sink, "Write Port", seventeen, 17);
    EXPECT_THAT(
        control.Lines(),
        ElementsAre("Write Port",
                    "0000: 20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F  !\"#$%&'()*+,-./",
                    "0010: 30 " + std::string(45, ' ') + "0"));

    control.Clear();
    const uint8_t high[] = {0x7F, 0x80, 0xFF, 0x20};
    TraceHexDump(&sink, nullptr, high, 4);
    EXPECT_EQ("0000: 7F 80 FF 20 " + std::string(36, ' ') + "... ", control.Text());
}

TEST(TraceHexDump, NothingForNullDataOrZeroLengthAndFiveDigitOffsets) {
    TextBuffer control;
    TraceSink sink(&control);
    const uint8_t one = 1;
    TraceHexDump(&sink, "label", nullptr, 5);
    TraceHexDump(&sink, "label", &one, 0);
    EXPECT_EQ("", control.Text()) << "not even the label";

    std::vector<uint8_t> big(0x10010, 0xAA);
    TraceHexDump(&sink, nullptr, big.data(), static_cast<uint32_t>(big.size()));
    std::vector<std::string> lines = control.Lines();
    ASSERT_EQ(0x1001u, lines.size());
    EXPECT_EQ("FFF0: ", lines[0xFFF].substr(0, 6));
    EXPECT_EQ("10000: ", lines[0x1000].substr(0, 7));
}

TEST(TraceConcurrency, LinesFromManyThreadsStayWhole) {
    TextBuffer control;
    TraceSink sink(&control);
    constexpr int kThreads = 4;
    constexpr int kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&sink, t] {
            for (int i = 0; i < kLines; ++i)
                Trace(&sink, "thread %d line %03d", t, i);
        });
    }
    for (std::thread& th : threads)
        th.join();
    std::vector<std::string> lines = control.Lines();
    ASSERT_EQ(static_cast<size_t>(kThreads * kLines), lines.size());
    std::vector<int> next(kThreads, 0);
    for (const std::string& line : lines) {
        int t = -1, i = -1;
        ASSERT_EQ(2, std::sscanf(line.c_str(), "thread %d line %d", &t, &i)) << line;
        ASSERT_EQ(next[t], i) << "lines of one thread keep their order";
        ++next[t];
    }
}
