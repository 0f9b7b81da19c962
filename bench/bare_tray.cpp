// bare_tray: the floors for bench/startup.py. A Qt Widgets program that only shows a tray icon (the program's own
// picture) and waits; no Qt tray program can start faster or need less memory. Built a second time as
// bare_tray_database, which first opens the database beside it as the program does: the floor of a tray program
// that keeps its data with this database engine.

#include <QApplication>
#include <QIcon>
#include <QSystemTrayIcon>

#ifdef BARE_TRAY_OPENS_DATABASE
#include "AccountDatabase.h"
#endif

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
#ifdef BARE_TRAY_OPENS_DATABASE
    const auto database = OpenAccountDatabase(std::filesystem::path(QApplication::applicationDirPath().toStdString()) /
                                              AccountDatabaseFileName);
#endif
    QSystemTrayIcon icon(QIcon(QStringLiteral(":/tarnwick.png")));
    icon.show();
    return app.exec();
}
