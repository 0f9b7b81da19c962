#include "LoggedOnForm.h"
#include "ScriptedModals.h"
#include "Text.h"

#include <QAction>
#include <QListWidget>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestAccounts : public QObject
{
    Q_OBJECT

private slots:
    // Edits of an account that another program deleted are kept as a new account or dropped, as the person says,
    // whatever saves them; a question left unanswered keeps them in the editor, and the session's end keeps them.
    void anAccountDeletedElsewhere_data()
    {
        QTest::addColumn<QString>("saving");
        QTest::addColumn<MsgBoxAnswer>("answer");
        QTest::addColumn<bool>("kept");
        using enum MsgBoxAnswer;
        QTest::newRow("picking another, kept") << u"pick"_s << Yes << true;
        QTest::newRow("adding, dropped") << u"add"_s << No << false;
        QTest::newRow("unloading, dropped") << u"unload"_s << No << false;
        QTest::newRow("picking another, unanswered") << u"pick"_s << Cancel << false;
        QTest::newRow("session end, kept unasked") << u"end"_s << Yes << true;
    }

    void anAccountDeletedElsewhere()
    {
        QFETCH(QString, saving);
        QFETCH(MsgBoxAnswer, answer);
        QFETCH(bool, kept);
        using enum MsgBoxAnswer;
        FormFixture fixture;
        Database &database = fixture.database();
        const std::u16string user = ToDecimal(fixture.AddUser(FormFixture::LoginName(), u"pw"_s));
        const std::u16string key = ToU16(FormFixture::LoginName()) + user;
        Sql(database,
            u"INSERT INTO Accounts (UserID, Account, Password) VALUES (CAST(?1 || '' AS INTEGER), 'gone', (?2 || '')), "
            u"(CAST(?1 || '' AS INTEGER), 'other', '');",
            {user, CryptString(key, u"old secret")});
        const std::unique_ptr<Program> form = fixture.LoadForm();
        {
            ScriptedModals logon{Answers::Password(u"pw"_s)};
            QCOMPARE(form->LogOn(), LogonResult::Done);
        }
        auto &password = *form->Window().findChild<QLineEdit *>(u"Password"_s);
        password.setText(u"new secret"_s);
        Sql(database, u"DELETE FROM Accounts WHERE Account = 'gone';");
        ScriptedModals modals{answer == Cancel ? Answers::Escape() : Answers::Button(answer), Answers::Button(Ok)};
        QListWidget &list = *form->Window().findChild<QListWidget *>();
        if (saving == u"pick"_s)
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.item(1)).center());
        else if (saving == u"add"_s)
            form->Window().findChild<QAction *>(u"mnuAddNew"_s)->trigger();
        else if (saving == u"unload"_s)
            form->Unload();
        else
            form->UnloadUnattended();
        const QStringList boxes{u"MsgBox[Question YesNo]: This account was deleted by another program. Keep your "
                                u"changes as a new account?"_s,
                                u"MsgBox[Critical Ok]: Cannot save account changes."_s};
        QCOMPARE(modals.log(), boxes.mid(0, saving == u"end"_s ? 0 : answer == Cancel ? 2 : 1));
        const auto keptAsNew = Sql(database,
                                   u"SELECT count(*) FROM Accounts WHERE Account = 'gone' AND UserID = CAST(?1 || '' "
                                   u"AS INTEGER) AND Password = (?2 || '');",
                                   {user, CryptString(key, u"new secret")});
        QCOMPARE(keptAsNew.front().ToLong(), kept ? 1 : 0);
        if (answer == Cancel) {
            // The list shows the account the editor shows, with the edits.
            QCOMPARE(password.text(), u"new secret"_s);
            QCoreApplication::processEvents();
            QCOMPARE(list.selectedItems(), QList<QListWidgetItem *>{list.item(0)});
            QCOMPARE(list.currentRow(), 0);
        } else if (saving != u"end"_s && saving != u"unload"_s)
            QCOMPARE(!list.findItems(u"gone"_s, Qt::MatchExactly).isEmpty(), kept);
    }
    // A command the database refuses says so, with the engine's reason, and adds nothing.
    void aRefusedAddSaysWhy()
    {
        FormFixture fixture;
        fixture.AddUser(FormFixture::LoginName(), u"pw"_s);
        const std::unique_ptr<Program> program = fixture.LoadForm();
        {
            ScriptedModals logon{Answers::Password(u"pw"_s)};
            QCOMPARE(program->LogOn(), LogonResult::Done);
        }
        Sql(fixture.database(), u"DROP TABLE Accounts;");
        ScriptedModals modals{Answers::Button(MsgBoxAnswer::Ok)};
        program->Window().findChild<QAction *>(u"mnuAddNew"_s)->trigger();
        QCOMPARE(modals.log().value(0).section(u'\n', 0, 0), u"MsgBox[Critical Ok]: Cannot add account."_s);
        QVERIFY(modals.log().value(0).contains(u"Accounts"_s));
        QCOMPARE(program->Window().findChild<QListWidget *>()->count(), 0);
    }
};

QTEST_MAIN(TestAccounts)
#include "tst_accounts.moc"
