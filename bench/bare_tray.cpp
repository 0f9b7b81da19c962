// bare_tray: the floor for bench/startup.py. A Qt Widgets program that only shows a tray icon (the program's own
// picture) and waits; no Qt tray program can start faster or need less memory.

#include <QApplication>
#include <QIcon>
#include <QSystemTrayIcon>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QSystemTrayIcon icon(QIcon(QStringLiteral(":/tarnwick.png")));
    icon.show();
    return app.exec();
}
