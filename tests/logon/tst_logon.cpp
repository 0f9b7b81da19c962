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

QString RegisterQuestion(const QString &name)
{
    return u"MsgBox[36]: User "_s + name + u" not found, register?"_s;
}

const QString LoginName = u"me"_s;

} // namespace

Q_DECLARE_METATYPE(Answer)
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
        using A = Answer;
        QTest::newRow("password given up") << u"me"_s << QList{A::Escape()} << LogonResult::Abandoned;
        QTest::newRow("wrong password, then given up")
            << u"me"_s << QList{A::Password(u"x"_s), A::Button(vbOK), A::Close()} << LogonResult::Abandoned;
        QTest::newRow("registering given up at the password")
            << QString() << QList{A::Button(vbYes), A::Button(vbOK), A::Close()} << LogonResult::Abandoned;
        QTest::newRow("question unanswered") << QString() << QList{A::Escape()} << LogonResult::Abandoned;
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
            AddUser(LoginName, u"pw"_s);
        if (setUp == u"vanishing"_s) {
            // The store runs no trigger: the session works through another program's connection here.
            const auto connection = OpenUnhardened(fresh_->file.path());
            RunUnhardened(connection, "CREATE TRIGGER gone AFTER INSERT ON User BEGIN DELETE FROM User; END;");
            fresh_->session.Open(std::make_shared<Database>(connection));
        }
        ScriptedModals modals(std::deque<Answer>(answers.begin(), answers.end()));
        QCOMPARE(logon_->LogOn(), result);
        const bool done = result == LogonResult::Done;
        QCOMPARE(fresh_->session.LoggedOn(), done);
        QCOMPARE(fresh_->session.Unlocked(), done);
        QCOMPARE(StoredPassword(*fresh_->database, ToU16(LoginName)).has_value(), done || setUp == u"me"_s);
    }

    void pickedAndTypedUsers()
    {
        AddUser(u"alice"_s, u"a"_s);
        const std::int32_t bob = AddUser(u"bob"_s, u"b"_s);
        {
            // A typed unknown name leads to the question again; giving up keeps the name for next time.
            ScriptedModals modals{Answer::Button(vbNo), Answer::PickUser(u"carol"_s), Answer::Button(vbNo),
                                  Answer::Escape()};
            QCOMPARE(logon_->LogOn(), LogonResult::Abandoned);
            QCOMPARE(modals.log().at(1), u"frmUserList: alice,bob"_s);
            QCOMPARE(modals.log().at(2), RegisterQuestion(u"carol"_s));
            QCOMPARE(ToQString(fresh_->session.CurrentUserName()), u"carol"_s);
        }
        ScriptedModals modals{Answer::Button(vbNo), Answer::PickUser(u"bob"_s), Answer::Password(u"b"_s)};
        QCOMPARE(logon_->LogOn(), LogonResult::Done);
        QCOMPARE(ToQString(fresh_->session.CurrentUserName()), u"bob"_s);
        QCOMPARE(fresh_->session.CurrentUserID(), bob);
    }

    void awkwardNamesRegisterAndLogOn_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("apostrophe") << u"O'Neil"_s;
        QTest::newRow("control character") << u"tab\there"_s;
        QTest::newRow("emoji") << u"key 🔑"_s;
        QTest::newRow("markup, shown as typed") << u"<b>bold</b>"_s;
    }

    void awkwardNamesRegisterAndLogOn()
    {
        QFETCH(QString, name);
        AddUser(u"someone"_s, u"x"_s);
        ScriptedModals modals{Answer::Button(vbNo), Answer::PickUser(name), Answer::Button(vbYes), Answer::Button(vbOK),
                              Answer::NewPassword(u"it's"_s, u"it's"_s)};
        QCOMPARE(logon_->LogOn(), LogonResult::Done);
        QCOMPARE(modals.log().at(2), RegisterQuestion(name));
        QCOMPARE(StoredPassword(*fresh_->database, ToU16(name)), HashPassword(u"it's"));
        QCOMPARE(ToQString(fresh_->session.CurrentUserName()), name);
    }

    void nullStoredPasswordAcceptsOnlyEmpty()
    {
        Sql(*fresh_->database, u"INSERT INTO User (UserName) VALUES (CAST(?1 AS TEXT));", {ToU16(LoginName)});
        ScriptedModals modals{Answer::Password(u" "_s), Answer::Button(vbOK), Answer::Password(QString())};
        QCOMPARE(logon_->LogOn(), LogonResult::Done);
    }

    void databaseErrorsNeverLogOn()
    {
        Sql(*fresh_->database, u"DROP TABLE User;");
        {
            ScriptedModals none;
            QVERIFY(RaisedErrorNumber([&] { logon_->LogOn(); }) != 0);
            QVERIFY(!fresh_->session.Unlocked());
        }
        ScriptedModals modals{Answer::Button(vbOK)};
        QCOMPARE(logon_->CheckPassword(u"anyone"_s), LogonResult::Abandoned);
        QVERIFY(modals.log().first().startsWith(u"MsgBox[16]: Password validation error: 3000 - "_s));
        QVERIFY(!fresh_->session.LoggedOn());
    }

private:
    std::int32_t AddUser(const QString &name, const QString &password)
    {
        ::AddUser(*fresh_->database, ToU16(name), HashPassword(ToU16(password)));
        return *FindUserID(*fresh_->database, ToU16(name));
    }

    std::unique_ptr<FreshSession> fresh_;
    std::unique_ptr<LogonFlow> logon_;
};

QTEST_MAIN(TestLogon)
#include "tst_logon.moc"
