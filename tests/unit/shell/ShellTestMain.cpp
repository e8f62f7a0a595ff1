// gtest main with the installer's own application object, so exceptions thrown from event
// handlers take the same path as in the installer (it replaces the test-support library's main).
#include "shell/ShellApplication.h"

#include "platform/Localization.h"

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // No authorities of the machine's own to read at every start (see TestMain.cpp).
    for (const char *name : {"SSL_CERT_FILE", "SSL_CERT_DIR"})
        qunsetenv(name);
    ::testing::InitGoogleTest(&argc, argv);
    shell::ShellApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    platform::installTranslations(app);
    return RUN_ALL_TESTS();
}
