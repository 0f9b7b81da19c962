#include "LoggedOnForm.h"
#include "ScriptedModals.h"
#include "Text.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace {

struct Account
{
    QString name;
    QString password;
};

QLineEdit &Line(frmAccount &form, int index)
{
    return *static_cast<QLineEdit *>(form.txt[index]->Widget());
}

} // namespace

class TestAccounts : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void showingNeverMarksChanged();
    void addingNamesTheFirstFreeName_data();
    void addingNamesTheFirstFreeName();
    void addingSavesPendingEditsFirst();
    void tooManyNewAccounts();
    void deleteOfAMissingRecordRemovesNothing();
    void passwordCopyShortcuts_data();
    void passwordCopyShortcuts();

private:
    std::int32_t AddAccount(const QString &name, const QString &password = QString());
    void LogOn();
    std::u16string StoredColumn(std::int32_t id, const std::u16string &column);

    std::unique_ptr<FormFixture> fixture_;
    std::unique_ptr<frmAccount> form_;
    std::int32_t userId_ = 0;
};

void TestAccounts::init()
{
    fixture_ = std::make_unique<FormFixture>();
    userId_ = fixture_->AddUser(FormFixture::LoginName(), QStringLiteral("pw"));
    form_ = fixture_->LoadForm();
}

void TestAccounts::cleanup()
{
    form_.reset();
    fixture_.reset();
}

QString Key(std::int32_t userId)
{
    return FormFixture::LoginName() + QString::number(userId);
}

std::int32_t TestAccounts::AddAccount(const QString &name, const QString &password)
{
    const std::u16string stored =
        password.isNull() ? u"NULL" : SqlLiteral(CryptString(ToU16(Key(userId_)), ToU16(password)));
    Database &database = fixture_->database();
    database.Execute(u"INSERT INTO Accounts ([UserID],[Account],[Password]) VALUES (" + ToDecimal(userId_) + u"," +
                     SqlLiteral(ToU16(name)) + u"," + stored + u");");
    return database.OpenRecordset(u"SELECT max([ID]) AS [Last] FROM Accounts;")->Fields(u"Last").ToLong();
}

void TestAccounts::LogOn()
{
    ScriptedModals modals{Answer::Password(QStringLiteral("pw"))};
    QCOMPARE(form_->LogOn(), LogonResult::Done);
}

std::u16string TestAccounts::StoredColumn(std::int32_t id, const std::u16string &column)
{
    auto row = fixture_->database().OpenRecordset(u"SELECT * FROM Accounts WHERE [ID] = " + ToDecimal(id) + u";",
                                                  dbOpenSnapshot, dbReadOnly);
    const Variant value = row->Fields(column);
    return value.IsNull() ? u"<Null>" : value.ToText();
}

void TestAccounts::showingNeverMarksChanged()
{
    AddAccount(QStringLiteral("a"), QStringLiteral("x"));
    AddAccount(QStringLiteral("b"), QStringLiteral("y"));
    LogOn();
    QVERIFY(!form_->AcctWasChanged());
    form_->lAccounts->setCurrentRow(1);
    QVERIFY(!form_->AcctWasChanged());
    QCOMPARE(form_->txt[0]->Text(), QStringLiteral("b"));
    QTest::keyClicks(form_->txt[4]->Widget(), QStringLiteral("555"));
    QVERIFY(form_->AcctWasChanged());
}

void TestAccounts::addingNamesTheFirstFreeName_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty list") << QStringList() << QStringLiteral("New account");
    QTest::newRow("first two taken") << QStringList{QStringLiteral("New account"), QStringLiteral("New account 2")}
                                     << QStringLiteral("New account 3");
    QTest::newRow("gap at the start") << QStringList{QStringLiteral("New account 2")} << QStringLiteral("New account");
    QTest::newRow("longer name does not block")
        << QStringList{QStringLiteral("New accounts"), QStringLiteral("New account 1")}
        << QStringLiteral("New account");
}

void TestAccounts::addingNamesTheFirstFreeName()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, expected);
    for (const QString &name : existing)
        AddAccount(name);
    LogOn();
    form_->cmdAddAccount->click();
    QCOMPARE(form_->lAccounts->count(), existing.size() + 1);
    QCOMPARE(form_->lAccounts->currentItem()->text(), expected);
    QCOMPARE(form_->txt[0]->Text(), expected);
    QCOMPARE(Line(*form_, 0).selectedText(), expected);
    QVERIFY(form_->AcctWasChanged());
    const std::int32_t id = form_->lAccounts->currentItem()->data(Qt::UserRole).toInt();
    QCOMPARE(ToQString(StoredColumn(id, u"Account")), expected);
    QCOMPARE(ToQString(StoredColumn(id, u"URL")), QStringLiteral("<Null>"));
}

void TestAccounts::addingSavesPendingEditsFirst()
{
    const std::int32_t a = AddAccount(QStringLiteral("a"));
    LogOn();
    Line(*form_, 3).setText(QStringLiteral("https://example.org"));
    form_->mnuAddNew->trigger();
    QCOMPARE(ToQString(StoredColumn(a, u"URL")), QStringLiteral("https://example.org"));

    // When that save fails, nothing is added and the edits stay.
    Line(*form_, 0).setText(QStringLiteral("unsaved"));
    const std::int32_t added = form_->lAccounts->currentItem()->data(Qt::UserRole).toInt();
    fixture_->database().Execute(u"DELETE * FROM Accounts WHERE [ID] = " + ToDecimal(added) + u";");
    ScriptedModals modals{Answer::Button(vbOK)};
    form_->mnuAddNew->trigger();
    QCOMPARE(form_->lAccounts->count(), 2);
    QCOMPARE(form_->txt[0]->Text(), QStringLiteral("unsaved"));
}

void TestAccounts::tooManyNewAccounts()
{
    {
        Transaction transaction(fixture_->database());
        AddAccount(QStringLiteral("New account"));
        for (int i = 2; i <= 1000; ++i)
            AddAccount(QStringLiteral("New account ") + QString::number(i));
        transaction.Commit();
    }
    LogOn();
    ScriptedModals modals{Answer::Button(vbOK)};
    form_->cmdAddAccount->click();
    QCOMPARE(modals.log(), QStringList{QStringLiteral("MsgBox[64]: Too many new accounts...")});
    QCOMPARE(form_->lAccounts->count(), 1000);
}

void TestAccounts::deleteOfAMissingRecordRemovesNothing()
{
    AddAccount(QStringLiteral("gone"));
    LogOn();
    form_->lAccounts->currentItem()->setData(Qt::UserRole, QStringLiteral("99999"));
    ScriptedModals modals{Answer::Button(vbYes), Answer::Button(vbOK)};
    form_->mnuDelete->trigger();
    QCOMPARE(modals.log().last(), QStringLiteral("MsgBox[16]: Failure: cannot find account 'gone in database."));
    QCOMPARE(form_->lAccounts->count(), 1);
}

void TestAccounts::passwordCopyShortcuts_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("copied");
    QTest::newRow("Ctrl+C in the password") << 2 << int(Qt::Key_C) << int(Qt::ControlModifier) << true;
    QTest::newRow("Ctrl+Insert in the password") << 2 << int(Qt::Key_Insert) << int(Qt::ControlModifier) << true;
    QTest::newRow("Ctrl+Shift+C in the password")
        << 2 << int(Qt::Key_C) << int(Qt::ControlModifier | Qt::ShiftModifier) << false;
    QTest::newRow("Ctrl+C in the user name") << 1 << int(Qt::Key_C) << int(Qt::ControlModifier) << false;
}

void TestAccounts::passwordCopyShortcuts()
{
    QFETCH(int, field);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, copied);
    AddAccount(QStringLiteral("a"), QStringLiteral("Whole-Secret"));
    LogOn();
    QApplication::clipboard()->setText(QStringLiteral("before"));
    QLineEdit &box = Line(*form_, field);
    box.setCursorPosition(2);
    QTest::keyClick(&box, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(QApplication::clipboard()->text() == QStringLiteral("Whole-Secret"), copied);
    // The next character typed is never lost.
    const QString before = box.text();
    QTest::keyClick(&box, Qt::Key_End);
    QTest::keyClicks(&box, QStringLiteral("z"));
    QCOMPARE(box.text(), before + QStringLiteral("z"));
}

QTEST_MAIN(TestAccounts)
#include "tst_accounts.moc"
