#include "gui/ErrorBox.h"

#include <gtest/gtest.h>

using namespace kaldrani::gui;

// Every GUI test runs inside the program's own application object, so an exception that
// leaves a handler takes the same road as in the program.
int main(int argc, char** argv)
{
    // Listing the tests at build time happens without the test environment.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    TApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
