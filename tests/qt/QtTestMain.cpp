// Test main for the Qt suite: one QApplication for every test, on the
// offscreen platform unless a display platform was asked for, drawing the
// dialog's states into the build's screenshot folder unless told another.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
#ifdef BREVIK_SCREENSHOT_FOLDER
    ::setenv("BREVIK_SCREENSHOTS", BREVIK_SCREENSHOT_FOLDER, 0);
#endif
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
