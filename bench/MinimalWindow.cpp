// The start-up peer: a Qt Widgets application that shows one window with one label and waits.
// The window has the installer's size, so both programs fill and send the same number of pixels
// for their first frame. bench/run times process start to the window being mapped and to its
// first drawing, then ends it with SIGTERM.

#include <QApplication>
#include <QLabel>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("Minimal Qt Widgets window"));
    window.setAlignment(Qt::AlignCenter);
    window.resize(1000, 640);
    window.show();
    return QApplication::exec();
}
