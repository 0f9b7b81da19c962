#include "Cipher.h"
#include "LogonFlow.h"
#include "ScriptedModals.h"
#include "TestDatabase.h"
#include "TestSupport.h"
#include "Unhardened.h"
#include "Users.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString LoginName = u"me"_s;

} // namespace

class TestLogon : public QObject
{
    Q_OBJECT

private slots:
    // However a logon is given up, nobody is left logged on or unlocked, and only a registered user has a password.
    void aLogonGivenUpLeavesNobodyLoggedOn_data()
    {
        QTest::addColumn<QString>("setUp");
        QTest::addColumn<QList<Answer>>("answers");
        namespace A = Answers;
        using enum MsgBoxAnswer;
        QTest::newRow("wrong password") << u"me"_s << QList{A::Password(u"x"_s), A::Button(Ok), A::Escape()};
        QTest::newRow("registering, at the password") << QString() << QList{A::Button(Yes), A::Button(Ok), A::Escape()};
        QTest::newRow("registered row gone")
            << u"vanishing"_s << QList{A::Button(Yes), A::Button(Ok), A::NewPassword(u"p"_s, u"p"_s), A::Escape()};
    }

    void aLogonGivenUpLeavesNobodyLoggedOn()
    {
        QFETCH(QString, setUp);
        QFETCH(QList<Answer>, answers);
        // A session of the login user "me" on a fresh file, as the window starts it.
        FreshSession fresh;
        fresh.session.CurrentUserName(ToU16(LoginName));
        if (setUp == u"me"_s)
            AddUser(*fresh.database, ToU16(LoginName), HashPassword(u"pw"));
        if (setUp == u"vanishing"_s) {
            // The store runs no trigger: the session works through another program's connection here.
            const auto connection = OpenUnhardened(fresh.file.path());
            RunUnhardened(connection, "CREATE TRIGGER gone AFTER INSERT ON User BEGIN DELETE FROM User; END;");
            fresh.session.Open(std::make_shared<Database>(connection, false));
        }
        ScriptedModals modals;
        for (const Answer &answer : answers)
            modals.Add(answer);
        QCOMPARE(LogonFlow(fresh.session, [] {}).LogOn(), LogonResult::Abandoned);
        QVERIFY(!fresh.session.LoggedOn() && !fresh.session.Unlocked());
        QCOMPARE(StoredPassword(*fresh.database, ToU16(LoginName)).has_value(), setUp == u"me"_s);
    }
};

QTEST_MAIN(TestLogon)
#include "tst_logon.moc"
