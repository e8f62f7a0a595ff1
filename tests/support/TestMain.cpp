// gtest main with a QApplication, so tests can run event loops, network replies and widgets.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Requests go to servers on 127.0.0.1, never through a proxy of the machine the tests run
    // on; the proxy tests set their own.
    for (const char *name : {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "HTTP_PROXY", "HTTPS_PROXY",
                             "ALL_PROXY", "NO_PROXY"})
        qunsetenv(name);
    // Nor do they trust the authorities that the machine names for its own programs; the TLS
    // tests name theirs.
    for (const char *name : {"SSL_CERT_FILE", "SSL_CERT_DIR"})
        qunsetenv(name);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
