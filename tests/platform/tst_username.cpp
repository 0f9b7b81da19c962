#include "UserName.h"

#include <QTest>

#include <pwd.h>
#include <unistd.h>

class TestUserName : public QObject
{
    Q_OBJECT

private slots:
    void nameOfTheEffectiveUser()
    {
        const passwd *entry = getpwuid(geteuid());
        QVERIFY(entry != nullptr);
        // The environment is anyone's to set; the user database is not.
        qputenv("USER", "somebody-else");
        qputenv("LOGNAME", "somebody-else");
        QCOMPARE(GetWindowsUserName(), QString::fromLocal8Bit(entry->pw_name));
    }
};

QTEST_GUILESS_MAIN(TestUserName)
#include "tst_username.moc"
