// Run on a session bus of its own (dbus-run-session), where this process also plays the desktop's watcher.
#include "TrayHost.h"

#include <QDBusConnection>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

// A StatusNotifierWatcher with a host registered, served by this process: while the process blocks on a question to
// it, it cannot answer, as a watcher busy starting a desktop does not.
class Watcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)

public:
    bool IsStatusNotifierHostRegistered() const { return true; }
};

class TestTrayHost : public QObject
{
    Q_OBJECT

private slots:
    void aWatcherThatAnswersLateStillBringsItsHost()
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"watcher"_s);
        Watcher watcher;
        QVERIFY(bus.registerObject(u"/StatusNotifierWatcher"_s, &watcher, QDBusConnection::ExportAllProperties));
        QVERIFY(bus.registerService(u"org.kde.StatusNotifierWatcher"_s));
        TrayHost host;
        QSignalSpy changed(&host, &TrayHost::Changed);
        host.Watch();
        QCOMPARE(host.Current(), TrayHost::Kind::None);
        QVERIFY(changed.wait());
        QCOMPARE(host.Current(), TrayHost::Kind::StatusNotifier);
    }
};

QTEST_MAIN(TestTrayHost)
#include "tst_trayhost.moc"
