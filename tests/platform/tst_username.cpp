#include "UserName.h"

#include <QTest>

#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

class TestUserName : public QObject
{
    Q_OBJECT

private slots:
    void nameOfTheEffectiveUser();
    void userWithoutANameGivesOneNul();
};

void TestUserName::nameOfTheEffectiveUser()
{
    const passwd *entry = getpwuid(geteuid());
    QVERIFY(entry != nullptr);
    const QString expected = QString::fromLocal8Bit(entry->pw_name);
    // The environment is anyone's to set; the user database is not.
    const QByteArray user = qgetenv("USER");
    const QByteArray logName = qgetenv("LOGNAME");
    qputenv("USER", "somebody-else");
    qputenv("LOGNAME", "somebody-else");
    const QString name = GetWindowsUserName();
    qputenv("USER", user);
    qputenv("LOGNAME", logName);
    QCOMPARE(name, expected);
}

void TestUserName::userWithoutANameGivesOneNul()
{
    // A user id that the user database does not know, taken on in a child process (which needs root).
    constexpr uid_t Unknown = 2147000001;
    if (geteuid() != 0) {
        QSKIP("taking on another user id needs root");
    }
    if (getpwuid(Unknown) != nullptr) {
        QSKIP("the user database knows the test's user id");
    }
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        const bool oneNul = seteuid(Unknown) == 0 && GetWindowsUserName() == QString(QChar(0));
        _exit(oneNul ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

QTEST_GUILESS_MAIN(TestUserName)
#include "tst_username.moc"
