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

Q_DECLARE_METATYPE(LogonResult)

class TestLogon : public QObject
{
    Q_OBJECT

private slots:
    // A session of the login user "me" on a fresh file, as the window starts it.
    void init()
    {
        fresh_ = std::make_unique<FreshSession>();
        fresh_->session.CurrentUserName(ToU16(LoginName));
        logon_ = std::make_unique<LogonFlow>(fresh_->session, [] {});
    }

    void cleanup()
    {
        logon_.reset();
        fresh_.reset();
    }

    // However a logon ends, nobody is left unlocked unless it logged on.
    void everyEndingLeavesTheFlagsTogether_data()
    {
        QTest::addColumn<QString>("setUp");
        QTest::addColumn<QList<Answer>>("answers");
        QTest::addColumn<LogonResult>("result");
        namespace A = Answers;
        QTest::newRow("wrong password, then given up")
            << u"me"_s << QList{A::Password(u"x"_s), A::Button(vbOK), A::Close()} << LogonResult::Abandoned;
        QTest::newRow("registering given up at the password")
            << QString() << QList{A::Button(vbYes), A::Button(vbOK), A::Close()} << LogonResult::Abandoned;
        QTest::newRow("registered row gone, then given up")
            << u"vanishing"_s << QList{A::Button(vbYes), A::Button(vbOK), A::NewPassword(u"p"_s, u"p"_s), A::Escape()}
            << LogonResult::Abandoned;
        QTest::newRow("registered") << QString()
                                    << QList{A::Button(vbYes), A::Button(vbOK), A::NewPassword(u"p"_s, u"p"_s)}
                                    << LogonResult::Done;
    }

    void everyEndingLeavesTheFlagsTogether()
    {
        QFETCH(QString, setUp);
        QFETCH(QList<Answer>, answers);
        QFETCH(LogonResult, result);
        if (setUp == u"me"_s)
            AddUser(*fresh_->database, ToU16(LoginName), HashPassword(u"pw"));
        if (setUp == u"vanishing"_s) {
            // The store runs no trigger: the session works through another program's connection here.
            const auto connection = OpenUnhardened(fresh_->file.path());
            RunUnhardened(connection, "CREATE TRIGGER gone AFTER INSERT ON User BEGIN DELETE FROM User; END;");
            fresh_->session.Open(std::make_shared<Database>(connection));
        }
        ScriptedModals modals;
        for (const Answer &answer : answers)
            modals.Add(answer);
        QCOMPARE(logon_->LogOn(), result);
        const bool done = result == LogonResult::Done;
        QCOMPARE(fresh_->session.LoggedOn(), done);
        QCOMPARE(fresh_->session.Unlocked(), done);
        QCOMPARE(StoredPassword(*fresh_->database, ToU16(LoginName)).has_value(), done || setUp == u"me"_s);
    }

private:
    std::unique_ptr<FreshSession> fresh_;
    std::unique_ptr<LogonFlow> logon_;
};

QTEST_MAIN(TestLogon)
#include "tst_logon.moc"
