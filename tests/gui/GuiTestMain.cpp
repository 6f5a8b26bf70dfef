#include "gui/ErrorBox.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kaldrani::gui;

// Every GUI test runs inside the program's own application object, so an exception that
// leaves a handler takes the same road as in the program.
int main(int argc, char** argv)
{
    // Listing the tests at build time happens without the test environment.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The daily tracking item reads and writes the user's systemd units: never the real ones.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    qputenv("KALDRANI_SYSTEMCTL", "false");
    // Written for the services of about 2008: the classic base. A test of today's services
    // names base = "current" in its own profile.
    qputenv("KALDRANI_PROFILE_BASE", "classic");
    ::testing::InitGoogleTest(&argc, argv);
    TApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
