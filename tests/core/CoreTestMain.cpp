// main() for the job and document tests: the private environment, then a GUI application on
// the offscreen platform (icons and the desktop adapters need one), then GoogleTest.
#include "PlainMarshal.h"
#include "TestSupport.h"

#include <QGuiApplication>

#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    coretest::MainThreadQueue::instance(); // belongs to this thread
    mgtest::prepareTestEnvironment();
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
