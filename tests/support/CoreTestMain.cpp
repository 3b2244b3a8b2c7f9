// Test main of the programs that link the core alone: a QCoreApplication (no display, no
// widgets), the virtual audio backend.
#include <QCoreApplication>
#include <gtest/gtest.h>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (!std::getenv("TAMBLOR_AUDIO"))
        setenv("TAMBLOR_AUDIO", "virtual", 1);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
