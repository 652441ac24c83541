// main() of the viewer's tests: a private environment, an offscreen application, and every
// prompt answered without a person.
#include "TestSupport.h"
#include "ui/MarrowglenApp.h"
#include "ui/Prompts.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    mgtest::prepareTestEnvironment();
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    initMarrowglenResources();
    prompts::setAutomatic(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
