#include "LoggedOnForm.h"
#include "ScriptedModals.h"
#include "Twips.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

QStringList MenuTexts(const QMenu &menu)
{
    QStringList texts;
    for (const QAction *action : menu.actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

// The texts of the menu the call pops up, or an empty list when it pops none.
template <typename Call> QStringList PoppedMenu(Call call)
{
    QStringList popped;
    QTimer::singleShot(0, [&popped] {
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            popped = MenuTexts(*menu);
            menu->close();
        }
    });
    call();
    QApplication::processEvents();
    return popped;
}

const QStringList BeforeLogonMenu{QStringLiteral("&Log in"), QStringLiteral("-"), QStringLiteral("&Unload"),
                                  QStringLiteral("-"), QStringLiteral("&Leave menu")};
const QStringList AfterLogonMenu{QStringLiteral("&Open"), QStringLiteral("-"), QStringLiteral("&Unload"),
                                 QStringLiteral("-"), QStringLiteral("&Leave menu")};

} // namespace

class TestFrmAccount : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void startsHiddenWithTheDesignedWindow();
    void controlsFollowTheDesign();
    void menusHoldTheirItemsInOrder();
    void startUpFailsOnABadDatabase_data();
    void startUpFailsOnABadDatabase();
    void closeBoxAndMinimiseOnlyHide();
    void trayMenusFollowTheLogon();
    void doubleClickLogsOnThenShows();
    void failedLogonIsRetriedUntilAbandoned();
    void trayEventsWaitWhileOneIsHandled();

private:
    std::unique_ptr<frmAccount> LoggedOn();

    std::unique_ptr<FormFixture> fixture_;
    std::unique_ptr<frmAccount> form_;
};

void TestFrmAccount::init()
{
    fixture_ = std::make_unique<FormFixture>();
}

void TestFrmAccount::cleanup()
{
    form_.reset();
    fixture_.reset();
}

std::unique_ptr<frmAccount> TestFrmAccount::LoggedOn()
{
    fixture_->AddUser(FormFixture::LoginName(), QStringLiteral("pw"));
    auto form = fixture_->LoadForm();
    ScriptedModals modals{Answer::Password(QStringLiteral("pw"))};
    form->LogOn();
    return form;
}

void TestFrmAccount::startsHiddenWithTheDesignedWindow()
{
    form_ = fixture_->LoadForm();
    QVERIFY(form_);
    QVERIFY(!form_->isVisible());
    QCOMPARE(form_->windowTitle(), QStringLiteral("Tarnwick"));
    QCOMPARE(form_->size(), QSize(TwipsToPixelsX(7080), TwipsToPixelsY(4245)));
    for (TextBox *field : form_->txt)
        QVERIFY(!field->Widget()->isEnabled());
    QVERIFY(!form_->LoggedOn() && !form_->Unlocked());
    QCOMPARE(form_->CurrentUserName(), FormFixture::LoginName());
}

void TestFrmAccount::controlsFollowTheDesign()
{
    form_ = fixture_->LoadForm();
    const QStringList tags{QStringLiteral("Account"), QStringLiteral("UserName"), QStringLiteral("Password"),
                           QStringLiteral("URL"),     QStringLiteral("Phone"),    QStringLiteral("Comment")};
    const QStringList captions{QStringLiteral("Account name:"),
                               QStringLiteral("User name:"),
                               QStringLiteral("Password:"),
                               QStringLiteral("URL:"),
                               QStringLiteral("Phone:"),
                               QStringLiteral("Additional text:"),
                               QStringLiteral("Click existing account below:")};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(form_->txt[i]->Tag(), tags[i]);
    for (int i = 0; i < 7; ++i)
        QCOMPARE(form_->lbl[i]->text(), captions[i]);
    for (int i : {0, 1, 2, 4})
        QCOMPARE(static_cast<QLineEdit *>(form_->txt[i]->Widget())->maxLength(), 50);
    QVERIFY(static_cast<QLineEdit *>(form_->txt[3]->Widget())->maxLength() > 1000000);
    QCOMPARE(static_cast<QLineEdit *>(form_->txt[2]->Widget())->echoMode(), QLineEdit::Password);
    QCOMPARE(form_->txt[1]->Widget()->geometry(),
             QRect(TwipsToPixelsX(1440), TwipsToPixelsY(582), TwipsToPixelsX(2415), TwipsToPixelsY(300)));
    QCOMPARE(form_->cmdAddAccount->text(), QStringLiteral("Add account"));
    QCOMPARE(form_->chkLaunch->text(), QStringLiteral("Run on system startup"));
    QCOMPARE(form_->chkFloat->text(), QStringLiteral("Make this window 'floating'..."));
    QCOMPARE(form_->cmdRMessage->text(), QStringLiteral("TarnwickHiddenButton"));
    QVERIFY(form_->cmdRMessage->isHidden());

    QList<QWidget *> expected;
    for (TextBox *field : form_->txt)
        expected << field->Widget();
    expected << form_->cmdAddAccount << form_->lAccounts << form_->chkLaunch << form_->chkFloat;
    for (int i = 0; i + 1 < expected.size(); ++i) {
        QWidget *next = expected[i]->nextInFocusChain();
        while (expected[i]->isAncestorOf(next) || next->focusPolicy() == Qt::NoFocus || next->isHidden())
            next = next->nextInFocusChain();
        QCOMPARE(next, expected[i + 1]);
    }
}

void TestFrmAccount::menusHoldTheirItemsInOrder()
{
    form_ = fixture_->LoadForm();
    QCOMPARE(MenuTexts(*form_->mnuLogOnPopUpMenu), BeforeLogonMenu);
    QCOMPARE(MenuTexts(*form_->mnuPopUp), AfterLogonMenu);
    QCOMPARE(MenuTexts(*form_->mnuAcctPopUpMenu),
             (QStringList{QStringLiteral("&Add new account"), QStringLiteral("&Delete account")}));
    QCOMPARE(MenuTexts(*form_->mnuPassPopUp), (QStringList{QStringLiteral("&Cut"), QStringLiteral("C&opy"),
                                                           QStringLiteral("&Paste"), QStringLiteral("&Delete")}));
    QCOMPARE(MenuTexts(*form_->mnuFile), (QStringList{QStringLiteral("&Hide"), QStringLiteral("&Exit")}));
}

void TestFrmAccount::startUpFailsOnABadDatabase_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("zero bytes") << QByteArray("");
    QTest::newRow("garbage") << QByteArray(8192, '\x13');
}

void TestFrmAccount::startUpFailsOnABadDatabase()
{
    QFETCH(QByteArray, content);
    const QString path = fixture_->file().folder() + QStringLiteral("/other.mdb");
    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    ScriptedModals modals{Answer::Button(vbOK)};
    frmAccount form;
    QVERIFY(!form.Form_Load(path));
    QVERIFY(form.ExitStatus() != 0);
    QCOMPARE(modals.log(), QStringList{QStringLiteral("MsgBox[16]: Cannot open database.")});
    QCOMPARE(QFile(path).size(), qint64(content.size()));
}

void TestFrmAccount::closeBoxAndMinimiseOnlyHide()
{
    form_ = LoggedOn();
    form_->Form_MouseMove(515);
    QVERIFY(form_->isVisible());
    form_->close();
    QVERIFY(!form_->isVisible());
    form_->Form_MouseMove(515);
    QVERIFY(form_->isVisible());
    form_->showMinimized();
    QTRY_VERIFY(!form_->isVisible());
    ScriptedModals none;
    form_->Form_MouseMove(515);
    QVERIFY(form_->isVisible());
    QVERIFY(!form_->isMinimized());
}

void TestFrmAccount::trayMenusFollowTheLogon()
{
    form_ = fixture_->LoadForm();
    fixture_->AddUser(FormFixture::LoginName(), QStringLiteral("pw"));
    QCOMPARE(PoppedMenu([&] { form_->Form_MouseMove(517); }), BeforeLogonMenu);
    {
        ScriptedModals modals{Answer::Password(QStringLiteral("pw"))};
        form_->mnuLogOn->trigger();
    }
    QVERIFY(!form_->isVisible());
    QCOMPARE(PoppedMenu([&] { form_->Form_MouseMove(517); }), AfterLogonMenu);
    form_->mnuOpen->trigger();
    QVERIFY(form_->isVisible());
    QCOMPARE(PoppedMenu([&] { form_->Form_MouseMove(517); }), QStringList());
}

void TestFrmAccount::doubleClickLogsOnThenShows()
{
    fixture_->AddUser(FormFixture::LoginName(), QStringLiteral("pw"));
    form_ = fixture_->LoadForm();
    {
        ScriptedModals modals{Answer::Cancel()};
        form_->Form_MouseMove(515);
    }
    QVERIFY(!form_->isVisible());
    ScriptedModals modals{Answer::Password(QStringLiteral("pw"))};
    form_->Form_MouseMove(515);
    QVERIFY(form_->isVisible());
    QVERIFY(form_->LoggedOn());
}

void TestFrmAccount::failedLogonIsRetriedUntilAbandoned()
{
    form_ = fixture_->LoadForm();
    ScriptedModals modals{Answer::Button(vbNo),  Answer::Button(vbOK), Answer::Button(vbOK),
                          Answer::Button(vbYes), Answer::Button(vbOK), Answer::Cancel()};
    form_->Form_MouseMove(515);
    const QString question =
        QStringLiteral("MsgBox[36]: User ") + FormFixture::LoginName() + QStringLiteral(" not found, register?");
    QCOMPARE(modals.log(),
             (QStringList{question, QStringLiteral("MsgBox[64]: No users in database."),
                          QStringLiteral("MsgBox[16]: Logon failed."), question,
                          QStringLiteral("MsgBox[64]: Please enter password for new user."),
                          QStringLiteral("frmGetNewPass: Enter password for user ") + FormFixture::LoginName()}));
    QVERIFY(!form_->isVisible());
}

void TestFrmAccount::trayEventsWaitWhileOneIsHandled()
{
    fixture_->AddUser(FormFixture::LoginName(), QStringLiteral("pw"));
    form_ = fixture_->LoadForm();
    frmAccount *form = form_.get();
    ScriptedModals modals{Answer([form](QDialog &) {
                              form->Form_MouseMove(515);
                              form->Form_MouseMove(517);
                              return QString();
                          }),
                          Answer::Password(QStringLiteral("pw"))};
    form_->Form_MouseMove(515);
    QCOMPARE(modals.log().size(), 1);
    QVERIFY(form_->isVisible());
}

QTEST_MAIN(TestFrmAccount)
#include "tst_frmaccount.moc"
