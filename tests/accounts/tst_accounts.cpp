#include "LoggedOnForm.h"
#include "ScriptedModals.h"
#include "Text.h"

#include <QAction>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestAccounts : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        fixture_ = std::make_unique<FormFixture>();
        userId_ = fixture_->AddUser(FormFixture::LoginName(), u"pw"_s);
        form_ = fixture_->LoadForm();
    }

    void cleanup()
    {
        form_.reset();
        fixture_.reset();
    }

    // Edits of an account that another program deleted are kept as a new account or dropped, as the person says,
    // whatever saves them; a question left unanswered keeps them in the editor, and the session's end keeps them.
    void anAccountDeletedElsewhere_data()
    {
        QTest::addColumn<QString>("saving");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("kept");
        QTest::newRow("picking another, kept") << u"pick"_s << int(vbYes) << true;
        QTest::newRow("adding, dropped") << u"add"_s << int(vbNo) << false;
        QTest::newRow("unloading, dropped") << u"unload"_s << int(vbNo) << false;
        QTest::newRow("picking another, unanswered") << u"pick"_s << int(vbCancel) << false;
        QTest::newRow("session end, kept unasked") << u"end"_s << 0 << true;
    }

    void anAccountDeletedElsewhere()
    {
        QFETCH(QString, saving);
        QFETCH(int, answer);
        QFETCH(bool, kept);
        const std::int32_t gone = AddAccount(u"gone"_s, u"old secret"_s);
        AddAccount(u"other"_s);
        LogOn();
        Line(2).setText(u"new secret"_s);
        Sql(fixture_->database(), u"DELETE FROM Accounts WHERE ID = CAST(?1 AS INTEGER);", {ToDecimal(gone)});
        ScriptedModals modals{answer == vbCancel ? Answers::Escape() : Answers::Button(answer), Answers::Button(vbOK)};
        if (saving == u"pick"_s)
            form_->lAccounts->setCurrentRow(1);
        else if (saving == u"add"_s)
            form_->mnuAddNew->trigger();
        else if (saving == u"unload"_s)
            form_->Unload();
        else
            form_->UnloadUnattended();
        const QString question =
            u"MsgBox[36]: This account was deleted by another program. Keep your changes as a new account?"_s;
        QCOMPARE(modals.log().value(0), saving == u"end"_s ? QString() : question);
        QCOMPARE(modals.log().value(1), answer == vbCancel ? u"MsgBox[16]: Cannot save account changes."_s : QString());
        const std::int32_t newest = Sql(fixture_->database(), u"SELECT max(ID) FROM Accounts;").front().ToLong();
        QCOMPARE(Stored(newest, u"Account") == u"gone", kept);
        if (kept) {
            QCOMPARE(Stored(newest, u"UserID"), QString::number(userId_));
            const std::u16string key = ToU16(FormFixture::LoginName()) + ToDecimal(userId_);
            QCOMPARE(Stored(newest, u"Password"), ToQString(CryptString(key, u"new secret")));
        }
        if (answer == vbCancel)
            QCOMPARE(Line(2).text(), u"new secret"_s);
        else if (saving != u"end"_s && saving != u"unload"_s)
            QCOMPARE(!form_->lAccounts->findItems(u"gone"_s, Qt::MatchExactly).isEmpty(), kept);
    }

private:
    std::int32_t AddAccount(const QString &name, const QString &password = QString())
    {
        const QString key = FormFixture::LoginName() + QString::number(userId_);
        Sql(fixture_->database(),
            u"INSERT INTO Accounts (UserID, Account, Password) VALUES (CAST(?1 AS INTEGER), CAST(?2 AS TEXT), "
            u"CAST(?3 AS TEXT));",
            {ToDecimal(userId_), ToU16(name), CryptString(ToU16(key), ToU16(password))});
        return Sql(fixture_->database(), u"SELECT max(ID) FROM Accounts;").front().ToLong();
    }

    void LogOn()
    {
        ScriptedModals modals{Answers::Password(u"pw"_s)};
        QCOMPARE(form_->LogOn(), LogonResult::Done);
    }

    QLineEdit &Line(int index) { return *static_cast<QLineEdit *>(form_->txt[index]->Widget()); }

    // The stored value as text, an integer in decimal; NULL reads as empty.
    QString Stored(std::int32_t id, const std::u16string &column)
    {
        const std::u16string sql =
            u"SELECT CAST(" + column + u" AS TEXT) FROM Accounts WHERE ID = CAST(?1 AS INTEGER);";
        return ToQString(NullToEmpty(Sql(fixture_->database(), sql, {ToDecimal(id)}).front()).ToText());
    }

    std::unique_ptr<FormFixture> fixture_;
    std::unique_ptr<frmAccount> form_;
    std::int32_t userId_ = 0;
};

QTEST_MAIN(TestAccounts)
#include "tst_accounts.moc"
