#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/posix/DriverLowLatency.h"

namespace {

// The driver's flag per descriptor; fd 9's was on before this process came.
class FakeDriver : public platform::DriverMode {
  public:
    std::set<int> on{9};
    std::vector<std::string> calls;
    bool Enter(int fd) override {
        calls.push_back("enter " + std::to_string(fd));
        return on.insert(fd).second;
    }
    void Leave(int fd) override {
        calls.push_back("leave " + std::to_string(fd));
        on.erase(fd);
    }
};

}  // namespace

// The mode is on only while a transfer holds the line's device, whatever
// the order of opens, holds and closes; a flag found on is never switched
// off, and another device's lines are never touched.
TEST(DriverLowLatency, OnOnlyWhileATransferHoldsTheDevice) {
    FakeDriver driver;
    platform::LowLatencyLines lines(driver);
    struct Step {
        const char* what;
        void (*run)(platform::LowLatencyLines&);
        std::set<int> on;
    };
    const Step steps[] = {
        {"opened for a look: off", [](auto& l) { l.Opened(3, "188:0"); }, {9}},
        {"another device opened", [](auto& l) { l.Opened(4, "188:1"); }, {9}},
        {"a transfer holds the bridge", [](auto& l) { l.Hold("188:0"); }, {3, 9}},
        {"a second line on it comes on at once", [](auto& l) { l.Opened(5, "188:0"); }, {3, 5, 9}},
        {"a nested hold", [](auto& l) { l.Hold("188:0"); }, {3, 5, 9}},
        {"closed while held: off", [](auto& l) { l.Closing(5); }, {3, 9}},
        {"the inner hold ends: still on", [](auto& l) { l.Release("188:0"); }, {3, 9}},
        {"the last hold ends, the line open: off", [](auto& l) { l.Release("188:0"); }, {9}},
        {"a line found on, and the other device's, held and released",
         [](auto& l) {
             l.Opened(9, "188:1");
             l.Hold("188:1");
             l.Release("188:1");
             l.Closing(9);
         },
         {9}},
        {"a release with no hold and an unknown device",
         [](auto& l) {
             l.Release("188:0");
             l.Hold("");
         },
         {9}},
    };
    for (const Step& step : steps) {
        step.run(lines);
        EXPECT_EQ(step.on, driver.on) << step.what;
    }
    EXPECT_EQ((std::vector<std::string>{"enter 3", "enter 5", "leave 5", "leave 3", "enter 4",
                                        "enter 9", "leave 4"}),
              driver.calls);
}
