#include "ScriptedModals.h"
#include "TestDatabase.h"

#include "Modal.h"
#include "frmUserList.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

class TestUserList : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void importListsNamesInRowOrderAndSelectsTheFirst();
    void importOfNothingLeavesTheListEmpty();
    void captionAndFocus();
    void okGivesTheEditText_data();
    void okGivesTheEditText();
    void closingWithoutOk_data();
    void closingWithoutOk();
    void escapeDoesNotClose();
    void scriptedPickIsLoggedWithTheList();

private:
    std::unique_ptr<Recordset> OpenUsers();
    QStringList NamesInRowOrder();
    void AddUser(const std::u16string &nameLiteral);

    std::unique_ptr<TemporaryAccountDatabase> file_;
    std::shared_ptr<Database> database_;
};

void TestUserList::init()
{
    file_ = std::make_unique<TemporaryAccountDatabase>();
    database_ = file_->Open();
    AddUser(u"'zed'");
    AddUser(u"'alice'");
    AddUser(u"'Bob'");
}

void TestUserList::cleanup()
{
    database_.reset();
    file_.reset();
}

std::unique_ptr<Recordset> TestUserList::OpenUsers()
{
    return database_->OpenRecordset(u"SELECT [ID], [UserName] FROM User;", dbOpenSnapshot, dbReadOnly);
}

// The names as the recordset gives them, which need not be the order they were added in.
QStringList TestUserList::NamesInRowOrder()
{
    QStringList names;
    const auto users = OpenUsers();
    for (; !users->Eof(); users->MoveNext())
        names << QString::fromStdU16String(NullToEmpty(users->Fields(u"UserName")).ToText());
    return names;
}

void TestUserList::AddUser(const std::u16string &nameLiteral)
{
    database_->Execute(u"INSERT INTO User ([UserName],[Password]) VALUES (" + nameLiteral + u",'');");
}

void TestUserList::importListsNamesInRowOrderAndSelectsTheFirst()
{
    AddUser(u"Null");
    frmUserList form;
    form.cmbUserName->addItem(QStringLiteral("left over"));
    const auto users = OpenUsers();
    users->MoveNext();
    form.ImportUserList(users.get());
    QStringList names;
    for (int i = 0; i < form.cmbUserName->count(); ++i)
        names << form.cmbUserName->itemText(i);
    QCOMPARE(names, NamesInRowOrder());
    QVERIFY(names.contains(QString()));
    QCOMPARE(form.cmbUserName->currentIndex(), 0);
    QCOMPARE(form.cmbUserName->currentText(), names.first());
    QVERIFY(users->Eof());
}

void TestUserList::importOfNothingLeavesTheListEmpty()
{
    frmUserList form;
    form.ImportUserList(OpenUsers().get());
    form.ImportUserList(nullptr);
    QCOMPARE(form.cmbUserName->count(), 0);
    QCOMPARE(form.cmbUserName->currentIndex(), -1);
    QCOMPARE(form.cmbUserName->currentText(), QString());

    form.ImportUserList(OpenUsers().get());
    database_->Execute(u"DELETE * FROM User;");
    form.ImportUserList(OpenUsers().get());
    QCOMPARE(form.cmbUserName->count(), 0);
    QCOMPARE(form.cmbUserName->currentIndex(), -1);
}

void TestUserList::captionAndFocus()
{
    frmUserList form;
    form.show();
    QCOMPARE(form.windowTitle(), QStringLiteral("Please select user to log on"));
    QCOMPARE(form.focusWidget(), form.cmbUserName);
}

void TestUserList::okGivesTheEditText_data()
{
    QTest::addColumn<int>("downKeys");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("userName");

    // An empty userName stands for the entry the down keys lead to.
    QTest::newRow("first entry as selected") << 0 << QString() << QString();
    QTest::newRow("second entry picked") << 1 << QString() << QString();
    QTest::newRow("unknown name typed") << 0 << QStringLiteral("carol") << QStringLiteral("carol");
    QTest::newRow("start of a listed name typed") << 0 << QStringLiteral("al") << QStringLiteral("al");
    QTest::newRow("listed name in other case typed") << 0 << QStringLiteral("ALICE") << QStringLiteral("ALICE");
    QTest::newRow("edit field emptied") << 0 << QStringLiteral("\b") << QString();
}

void TestUserList::okGivesTheEditText()
{
    QFETCH(int, downKeys);
    QFETCH(QString, typed);
    QFETCH(QString, userName);
    frmUserList form;
    form.ImportUserList(OpenUsers().get());
    form.show();
    QWidget *edit = form.cmbUserName->lineEdit();
    for (int i = 0; i < downKeys; ++i)
        QTest::keyClick(edit, Qt::Key_Down);
    if (!typed.isEmpty()) {
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, typed == u"\b" ? QString() : typed);
        if (typed == u"\b")
            QTest::keyClick(edit, Qt::Key_Backspace);
    }
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(!form.isVisible());
    QVERIFY(form.AllOk());
    QCOMPARE(form.UserName(), typed.isEmpty() ? NamesInRowOrder().at(downKeys) : userName);
}

void TestUserList::closingWithoutOk_data()
{
    QTest::addColumn<bool>("closeBox");

    QTest::newRow("Cancel") << false;
    QTest::newRow("close box") << true;
}

void TestUserList::closingWithoutOk()
{
    QFETCH(bool, closeBox);
    frmUserList form;
    form.ImportUserList(OpenUsers().get());
    form.show();
    if (closeBox)
        form.close();
    else
        QTest::mouseClick(form.cmdCancel, Qt::LeftButton);
    QVERIFY(!form.isVisible());
    QVERIFY(!form.AllOk());
    QCOMPARE(form.result(), int(QDialog::Rejected));
}

void TestUserList::escapeDoesNotClose()
{
    frmUserList form;
    form.ImportUserList(OpenUsers().get());
    form.show();
    QTest::keyClick(form.cmbUserName->lineEdit(), Qt::Key_Escape);
    QTest::keyClick(form.cmdOk, Qt::Key_Escape);
    QVERIFY(form.isVisible());
    QVERIFY(!form.AllOk());
}

void TestUserList::scriptedPickIsLoggedWithTheList()
{
    frmUserList form;
    form.ImportUserList(OpenUsers().get());
    ScriptedModals modals{Answer::PickUser(QStringLiteral("alice"))};
    QCOMPARE(RunModal(form), int(QDialog::Accepted));
    QCOMPARE(form.UserName(), QStringLiteral("alice"));
    QCOMPARE(modals.log(), QStringList{QStringLiteral("frmUserList: ") + NamesInRowOrder().join(u',')});
}

QTEST_MAIN(TestUserList)
#include "tst_userlist.moc"
