#include "Cipher.h"
#include "LogonFlow.h"
#include "ScriptedModals.h"
#include "SqlLiteral.h"
#include "TestDatabase.h"
#include "TestSupport.h"
#include "Users.h"

#include <QTest>

namespace {

QString PasswordCaption(const QString &name)
{
    return QStringLiteral("frmGetPass: Enter password for user ") + name;
}

QString RegisterQuestion(const QString &name)
{
    return QStringLiteral("MsgBox[36]: User ") + name + QStringLiteral(" not found, register?");
}

const QString LoginName = QStringLiteral("me");

} // namespace

class TestLogon : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void knownUserWithRightPassword();
    void registrationCancelledAbandons();
    void pickedAndTypedUsers();
    void awkwardNamesRegisterAndLogOn_data();
    void awkwardNamesRegisterAndLogOn();
    void nullStoredPasswordAcceptsOnlyEmpty();
    void secondLogOnAsksNothing();
    void databaseErrorsLeaveLogOn();
    void validationErrorNeverLogsOn();

private:
    std::int32_t AddUser(const QString &name, const QString &password)
    {
        ::AddUser(*database_, ToU16(name), HashPassword(ToU16(password)));
        return *FindUserID(*database_, ToU16(name));
    }

    std::unique_ptr<TemporaryAccountDatabase> file_;
    std::shared_ptr<Database> database_;
    std::unique_ptr<AccountSession> session_;
    std::unique_ptr<LogonFlow> logon_;
    int loggedOnCalls_ = 0;
};

// A session of the login user "me" on a fresh file, as the window starts it.
void TestLogon::init()
{
    file_ = std::make_unique<TemporaryAccountDatabase>();
    database_ = file_->Open();
    session_ = std::make_unique<AccountSession>();
    session_->Open(database_);
    session_->CurrentUserName(ToU16(LoginName));
    loggedOnCalls_ = 0;
    logon_ = std::make_unique<LogonFlow>(*session_, [this] { ++loggedOnCalls_; });
}

void TestLogon::cleanup()
{
    logon_.reset();
    session_.reset();
    database_.reset();
    file_.reset();
}

void TestLogon::knownUserWithRightPassword()
{
    const std::int32_t id = AddUser(LoginName, QStringLiteral("pw"));
    QVERIFY(!session_->LoggedOn() && !session_->Unlocked());
    ScriptedModals modals{Answer::Password(QStringLiteral("pw"))};
    QCOMPARE(logon_->LogOn(), LogonResult::Done);
    QVERIFY(session_->LoggedOn() && session_->Unlocked());
    QCOMPARE(session_->CurrentUserID(), id);
    QCOMPARE(loggedOnCalls_, 1);
    QCOMPARE(modals.log(), QStringList{PasswordCaption(LoginName)});
}

void TestLogon::registrationCancelledAbandons()
{
    ScriptedModals modals{Answer::Button(vbYes), Answer::Button(vbOK), Answer::Close()};
    QCOMPARE(logon_->LogOn(), LogonResult::Abandoned);
    QVERIFY(!StoredPassword(*database_, ToU16(LoginName)));
}

void TestLogon::pickedAndTypedUsers()
{
    AddUser(QStringLiteral("alice"), QStringLiteral("a"));
    const std::int32_t bob = AddUser(QStringLiteral("bob"), QStringLiteral("b"));
    {
        // A typed unknown name leads to the question again; giving up keeps the name for next time.
        ScriptedModals modals{Answer::Button(vbNo), Answer::PickUser(QStringLiteral("carol")), Answer::Button(vbNo),
                              Answer::Cancel()};
        QCOMPARE(logon_->LogOn(), LogonResult::Abandoned);
        QCOMPARE(modals.log().at(1), QStringLiteral("frmUserList: alice,bob"));
        QCOMPARE(modals.log().at(2), RegisterQuestion(QStringLiteral("carol")));
        QCOMPARE(ToQString(session_->CurrentUserName()), QStringLiteral("carol"));
    }
    ScriptedModals modals{Answer::Button(vbNo), Answer::PickUser(QStringLiteral("bob")),
                          Answer::Password(QStringLiteral("b"))};
    QCOMPARE(logon_->LogOn(), LogonResult::Done);
    QCOMPARE(ToQString(session_->CurrentUserName()), QStringLiteral("bob"));
    QCOMPARE(session_->CurrentUserID(), bob);
}

void TestLogon::awkwardNamesRegisterAndLogOn_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("apostrophe") << QStringLiteral("O'Neil");
    QTest::newRow("control character") << QStringLiteral("tab\there");
    QTest::newRow("emoji") << QStringLiteral("key 🔑");
}

void TestLogon::awkwardNamesRegisterAndLogOn()
{
    QFETCH(QString, name);
    AddUser(QStringLiteral("someone"), QStringLiteral("x"));
    ScriptedModals modals{Answer::Button(vbNo), Answer::PickUser(name), Answer::Button(vbYes), Answer::Button(vbOK),
                          Answer::NewPassword(QStringLiteral("it's"), QStringLiteral("it's"))};
    QCOMPARE(logon_->LogOn(), LogonResult::Done);
    QCOMPARE(StoredPassword(*database_, ToU16(name)), HashPassword(u"it's"));
    QCOMPARE(ToQString(session_->CurrentUserName()), name);
}

void TestLogon::nullStoredPasswordAcceptsOnlyEmpty()
{
    database_->Execute(u"INSERT INTO User ([UserName]) VALUES (" + SqlLiteral(ToU16(LoginName)) + u");");
    ScriptedModals modals{Answer::Password(QStringLiteral(" ")), Answer::Button(vbOK), Answer::Password(QString())};
    QCOMPARE(logon_->LogOn(), LogonResult::Done);
}

void TestLogon::secondLogOnAsksNothing()
{
    AddUser(LoginName, QStringLiteral("pw"));
    {
        ScriptedModals modals{Answer::Password(QStringLiteral("pw"))};
        QCOMPARE(logon_->LogOn(), LogonResult::Done);
    }
    ScriptedModals none;
    QCOMPARE(logon_->LogOn(), LogonResult::Done);
    QVERIFY(none.log().isEmpty());
}

void TestLogon::databaseErrorsLeaveLogOn()
{
    database_->Execute(u"DROP TABLE User;");
    ScriptedModals none;
    QVERIFY(RaisedErrorNumber([&] { logon_->LogOn(); }) != 0);
    QVERIFY(!session_->LoggedOn());
}

void TestLogon::validationErrorNeverLogsOn()
{
    database_->Execute(u"DROP TABLE User;");
    ScriptedModals modals{Answer::Button(vbOK)};
    QCOMPARE(logon_->CheckPassword(QStringLiteral("anyone")), LogonResult::Abandoned);
    QVERIFY(modals.log().first().startsWith(QStringLiteral("MsgBox[16]: Password validation error: 3000 - ")));
}

QTEST_MAIN(TestLogon)
#include "tst_logon.moc"
