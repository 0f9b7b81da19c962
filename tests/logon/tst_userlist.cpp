#include "frmUserList.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

class TestUserList : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void importSelectsTheFirstEntry();
    void okGivesTheNameAsTyped_data();
    void okGivesTheNameAsTyped();

private:
    std::unique_ptr<frmUserList> form_;
};

void TestUserList::init()
{
    form_ = std::make_unique<frmUserList>();
    form_->ImportUserList({u"bob", u"alice"});
}

// The list shows the names in their order with the first one selected; no names empty it.
void TestUserList::importSelectsTheFirstEntry()
{
    QCOMPARE(form_->cmbUserName->count(), 2);
    QCOMPARE(form_->cmbUserName->currentText(), QStringLiteral("bob"));
    form_->ImportUserList({});
    QCOMPARE(form_->cmbUserName->count(), 0);
}

// Whatever is in the edit field, nothing completed or corrected; Esc gives up the choice.
void TestUserList::okGivesTheNameAsTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("unknown name") << "carol";
    QTest::newRow("start of a listed name") << "al";
    QTest::newRow("listed name in other case") << "ALICE";
    QTest::newRow("Esc") << QString();
}

void TestUserList::okGivesTheNameAsTyped()
{
    QFETCH(QString, typed);
    form_->show();
    QWidget *edit = form_->cmbUserName->lineEdit();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, typed);
    QTest::keyClick(edit, typed.isEmpty() ? Qt::Key_Escape : Qt::Key_Return);
    QVERIFY(!form_->isVisible());
    QCOMPARE(form_->AllOk(), !typed.isEmpty());
    QCOMPARE(form_->UserName(), typed);
}

QTEST_MAIN(TestUserList)
#include "tst_userlist.moc"
