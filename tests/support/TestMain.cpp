// Test main: one offscreen QApplication for the whole run, the virtual audio backend.
#include <QApplication>
#include <gtest/gtest.h>
#include <cstdlib>

int main(int argc, char** argv)
{
    // gtest_discover_tests runs the binary at build time without the test environment.
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!std::getenv("TAMBLOR_AUDIO"))
        setenv("TAMBLOR_AUDIO", "virtual", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
