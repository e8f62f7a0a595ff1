// The start-up peer: a Qt Widgets application that shows one window with one label and waits.
// bench/run times process start to the window becoming visible and then ends it with SIGTERM.

#include <QApplication>
#include <QLabel>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("Minimal Qt Widgets window"));
    window.setAlignment(Qt::AlignCenter);
    window.resize(640, 480);
    window.show();
    return QApplication::exec();
}
