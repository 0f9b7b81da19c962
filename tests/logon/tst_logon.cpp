#include "LoggedOnForm.h"
#include "ScriptedModals.h"

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

std::u16string StoredPassword(Database &database, const QString &name)
{
    auto row =
        database.OpenRecordset(u"SELECT [Password] FROM User WHERE [UserName] = " + SqlLiteral(ToU16(name)) + u";",
                               dbOpenSnapshot, dbReadOnly);
    if (row->RecordCount() < 1)
        return u"<no row>";
    return NullToEmpty(row->Fields(u"Password")).ToText();
}

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
    std::unique_ptr<FormFixture> fixture_;
    std::unique_ptr<frmAccount> form_;
};

void TestLogon::init()
{
    fixture_ = std::make_unique<FormFixture>();
}

void TestLogon::cleanup()
{
    form_.reset();
    fixture_.reset();
}

void TestLogon::knownUserWithRightPassword()
{
    const std::int32_t id = fixture_->AddUser(FormFixture::LoginName(), QStringLiteral("pw"));
    form_ = fixture_->LoadForm();
    QVERIFY(form_);
    QVERIFY(!form_->LoggedOn() && !form_->Unlocked());
    ScriptedModals modals{Answer::Password(QStringLiteral("pw"))};
    QCOMPARE(form_->LogOn(), 0);
    QVERIFY(form_->LoggedOn() && form_->Unlocked());
    QCOMPARE(form_->CurrentUserID(), id);
    QCOMPARE(modals.log(), QStringList{PasswordCaption(FormFixture::LoginName())});
}

void TestLogon::registrationCancelledAbandons()
{
    form_ = fixture_->LoadForm();
    ScriptedModals modals{Answer::Button(vbYes), Answer::Button(vbOK), Answer::Close()};
    QCOMPARE(form_->LogOn(), 2);
    QCOMPARE(ToQString(StoredPassword(fixture_->database(), FormFixture::LoginName())), QStringLiteral("<no row>"));
}

void TestLogon::pickedAndTypedUsers()
{
    fixture_->AddUser(QStringLiteral("alice"), QStringLiteral("a"));
    const std::int32_t bob = fixture_->AddUser(QStringLiteral("bob"), QStringLiteral("b"));
    form_ = fixture_->LoadForm();
    {
        // A typed unknown name leads to the question again; giving up keeps the name for next time.
        ScriptedModals modals{Answer::Button(vbNo), Answer::PickUser(QStringLiteral("carol")), Answer::Button(vbNo),
                              Answer::Cancel()};
        QCOMPARE(form_->LogOn(), 2);
        QCOMPARE(modals.log().at(1), QStringLiteral("frmUserList: alice,bob"));
        QCOMPARE(modals.log().at(2), RegisterQuestion(QStringLiteral("carol")));
        QCOMPARE(form_->CurrentUserName(), QStringLiteral("carol"));
    }
    ScriptedModals modals{Answer::Button(vbNo), Answer::PickUser(QStringLiteral("bob")),
                          Answer::Password(QStringLiteral("b"))};
    QCOMPARE(form_->LogOn(), 0);
    QCOMPARE(form_->CurrentUserName(), QStringLiteral("bob"));
    QCOMPARE(form_->CurrentUserID(), bob);
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
    fixture_->AddUser(QStringLiteral("someone"), QStringLiteral("x"));
    form_ = fixture_->LoadForm();
    ScriptedModals modals{Answer::Button(vbNo), Answer::PickUser(name), Answer::Button(vbYes), Answer::Button(vbOK),
                          Answer::NewPassword(QStringLiteral("it's"), QStringLiteral("it's"))};
    QCOMPARE(form_->LogOn(), 0);
    QCOMPARE(ToQString(StoredPassword(fixture_->database(), name)), ToQString(HashPassword(u"it's")));
    QCOMPARE(form_->CurrentUserName(), name);
}

void TestLogon::nullStoredPasswordAcceptsOnlyEmpty()
{
    fixture_->database().Execute(u"INSERT INTO User ([UserName]) VALUES (" +
                                 SqlLiteral(ToU16(FormFixture::LoginName())) + u");");
    form_ = fixture_->LoadForm();
    ScriptedModals modals{Answer::Password(QStringLiteral(" ")), Answer::Button(vbOK), Answer::Password(QString())};
    QCOMPARE(form_->LogOn(), 0);
}

void TestLogon::secondLogOnAsksNothing()
{
    fixture_->AddUser(FormFixture::LoginName(), QStringLiteral("pw"));
    form_ = fixture_->LoadForm();
    {
        ScriptedModals modals{Answer::Password(QStringLiteral("pw"))};
        QCOMPARE(form_->LogOn(), 0);
    }
    ScriptedModals none;
    QCOMPARE(form_->LogOn(), 0);
    QVERIFY(none.log().isEmpty());
}

void TestLogon::databaseErrorsLeaveLogOn()
{
    form_ = fixture_->LoadForm();
    fixture_->database().Execute(u"DROP TABLE User;");
    ScriptedModals none;
    QVERIFY(RaisedErrorNumber([&] { form_->LogOn(); }) != 0);
    QVERIFY(!form_->LoggedOn());
}

void TestLogon::validationErrorNeverLogsOn()
{
    form_ = fixture_->LoadForm();
    fixture_->database().Execute(u"DROP TABLE User;");
    ScriptedModals modals{Answer::Button(vbOK)};
    QCOMPARE(form_->CheckPassword(QStringLiteral("anyone")), 2);
    QVERIFY(modals.log().first().startsWith(QStringLiteral("MsgBox[16]: Password validation error: 3000 - ")));
}

QTEST_MAIN(TestLogon)
#include "tst_logon.moc"
