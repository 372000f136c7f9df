// One application object for all the application tests, on the offscreen
// platform, with HOME and the XDG folders in a temporary place so that the
// file dialogs' remembered state never reaches the real home.

#include "platform/Application.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home.path() + "/.cache").toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    platform::TApplication app(argc, argv);
    app.Initialize();
    return RUN_ALL_TESTS();
}
