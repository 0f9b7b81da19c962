#include "TestDatabase.h"
#include "TestSupport.h"

#include "AccountSession.h"
#include "Cipher.h"
#include "Text.h"
#include "Users.h"

#include <QTest>

namespace {

AccountFields Fields(const std::u16string &text)
{
    AccountFields fields;
    fields.fill(text);
    return fields;
}

} // namespace

// The logon state and the accounts of one run, over a fresh file, without any window.
class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        file_ = std::make_unique<TemporaryAccountDatabase>();
        database_ = file_->Open();
        session_ = std::make_unique<AccountSession>();
        session_->Open(database_);
    }

    void cleanup()
    {
        session_.reset();
        database_.reset();
        file_.reset();
    }

    void registeringAndFindingUsers()
    {
        AddUser(*database_, u"Alice", u"stored");
        session_->CurrentUserName(u"alice");
        QVERIFY(!session_->FindUser()); // letter case counts
        session_->RegisterUser(u"it's");
        QVERIFY(session_->Unlocked() && !session_->LoggedOn());
        QVERIFY(session_->FindUser());
        QCOMPARE(session_->CurrentUserID(), *FindUserID(*database_, u"alice"));
        QCOMPARE(session_->UserNames(), (std::vector<std::u16string>{u"Alice", u"alice"}));
        const std::optional<std::u16string> stored = session_->StoredPassword(u"alice");
        QCOMPARE(stored, std::optional(HashPassword(u"it's")));
        QVERIFY(AccountSession::PasswordMatches(*stored, u"it's"));
        QVERIFY(!AccountSession::PasswordMatches(*stored, u"It's"));
        QVERIFY(!session_->StoredPassword(u"nobody"));
        session_->BeginLogon();
        QVERIFY(!session_->Unlocked());
        session_->CompleteLogon();
        QVERIFY(session_->LoggedOn() && session_->Unlocked());
    }

    void accountsRoundTripExactlyWithThePasswordEnciphered_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("NUL, CR LF and tab") << QString::fromUtf16(u"a\0b\r\nc\td", 8);
        QTest::newRow("quotes and brackets") << QStringLiteral("it's ''quoted'' [x] & \"y\"");
        QTest::newRow("emoji and from U+8000 up") << QString::fromUtf16(u"\U0001F511\u8000\uFFFF");
        QTest::newRow("lone surrogates") << QString::fromUtf16(u"\xD800x\xDFFF", 3);
        QTest::newRow("leading byte-order marks") << ToQString(u"\uFEFF\uFFFEab");
        QTest::newRow("leading swapped mark") << ToQString(u"\uFFFEab");
    }

    void accountsRoundTripExactlyWithThePasswordEnciphered()
    {
        QFETCH(QString, text);
        session_->CurrentUserName(u"me");
        session_->RegisterUser(u"pw");
        QVERIFY(session_->FindUser());
        const std::int32_t id = session_->AddAccount(ToU16(text));
        QCOMPARE(session_->ListAccounts().front().name, ToU16(text));
        session_->SaveAccount(id, Fields(ToU16(text)));
        QCOMPARE(session_->ShowAccount(id), std::optional(Fields(ToU16(text))));
        // Another program reads the password enciphered with the name and the ID, and the rest as typed.
        auto row = database_->OpenRecordset(u"SELECT * FROM Accounts;");
        QCOMPARE(row->Fields(u"Password").ToText(),
                 CryptString(u"me" + ToDecimal(session_->CurrentUserID()), ToU16(text)));
        QCOMPARE(row->Fields(u"Comment").ToText(), ToU16(text));
        QCOMPARE(row->Fields(u"UserID").ToLong(), session_->CurrentUserID());
    }

    void theAccountSetKeepsToItsRows()
    {
        database_->Execute(u"INSERT INTO Accounts ([UserID],[Account]) VALUES (1,'mail');");
        database_->Execute(u"INSERT INTO Accounts ([UserID],[Account]) VALUES (2,'not mine');");
        database_->Execute(u"INSERT INTO Accounts ([UserID],[Account]) VALUES (1,'bank');");
        AccountSet accounts(database_, 1);
        const std::vector<AccountListing> listed = accounts.List();
        QCOMPARE(listed.size(), std::size_t(2));
        QCOMPARE(listed[0].name, u"mail");
        QCOMPARE(listed[1].name, u"bank");
        QVERIFY(!accounts.Read(2)); // another user's
        QVERIFY(!accounts.Delete(2));
        QCOMPARE(RaisedErrorNumber([&] { accounts.Write(2, Fields(u"x"), 1); }), 3021);

        // IDs are never given twice, also after a delete and across connections.
        const std::int32_t added = accounts.Add(u"new", 1);
        QVERIFY(added > 3);
        QVERIFY(accounts.Delete(added));
        const std::int32_t again = AccountSet(file_->Open(), 1).Add(u"elsewhere", 1);
        QVERIFY(again > added && accounts.Add(u"newer", 1) > again);
        QVERIFY(!accounts.Read(again)); // added by another program after the set was opened

        // A row deleted behind the set's back reads as gone, and writing it fails.
        file_->Open()->Execute(u"DELETE * FROM Accounts WHERE [ID] = 1;");
        QVERIFY(!accounts.Read(1));
        QCOMPARE(RaisedErrorNumber([&] { accounts.Write(1, Fields(u"x"), 1); }), 3167);
        QCOMPARE(accounts.List().size(), std::size_t(2));
    }

private:
    std::unique_ptr<TemporaryAccountDatabase> file_;
    std::shared_ptr<Database> database_;
    std::unique_ptr<AccountSession> session_;
};

QTEST_APPLESS_MAIN(TestSession)
#include "tst_session.moc"
