// Licensed under the MIT licence; see LICENSE.
// Every test executable runs inside a Qt application, so that timers, queued
// signals and QSignalSpy work as they do in the host.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
