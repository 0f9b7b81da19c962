#include "LoggedOnForm.h"
#include "ScriptedModals.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <thread>

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
    void trayMenusFollowTheLogon();
    void failedLogonIsRetriedUntilAbandoned();
    void trayEventsWaitWhileOneIsHandled();
    void unattendedUnloadTriesTheSaveAgainForAWhileWithoutAsking_data();
    void unattendedUnloadTriesTheSaveAgainForAWhileWithoutAsking();

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
    QVERIFY(!form_->Session().LoggedOn() && !form_->Session().Unlocked());
    QCOMPARE(ToQString(form_->Session().CurrentUserName()), FormFixture::LoginName());
    form_->show();
    for (TextBox *field : form_->txt)
        QVERIFY(!field->Widget()->isEnabled());
}

void TestFrmAccount::trayMenusFollowTheLogon()
{
    form_ = fixture_->LoadForm();
    fixture_->AddUser(FormFixture::LoginName(), QStringLiteral("pw"));
    QCOMPARE(PoppedMenu([&] { form_->Form_MouseMove(TrayEvent::ContextMenu); }), BeforeLogonMenu);
    {
        ScriptedModals modals{Answer::Password(QStringLiteral("pw"))};
        form_->mnuLogOn->trigger();
        QCoreApplication::processEvents();
    }
    QVERIFY(!form_->isVisible());
    QCOMPARE(PoppedMenu([&] { form_->Form_MouseMove(TrayEvent::ContextMenu); }), AfterLogonMenu);
    form_->mnuOpen->trigger();
    QCoreApplication::processEvents();
    QVERIFY(form_->isVisible());
    QCOMPARE(PoppedMenu([&] { form_->Form_MouseMove(TrayEvent::ContextMenu); }), QStringList());
}

void TestFrmAccount::failedLogonIsRetriedUntilAbandoned()
{
    form_ = fixture_->LoadForm();
    ScriptedModals modals{Answer::Button(vbNo),  Answer::Button(vbOK), Answer::Button(vbOK),
                          Answer::Button(vbYes), Answer::Button(vbOK), Answer::Cancel()};
    form_->Form_MouseMove(TrayEvent::DoubleClick);
    const QString question =
        QStringLiteral("MsgBox[36]: User ") + FormFixture::LoginName() + QStringLiteral(" not found, register?");
    QCOMPARE(modals.log(),
             (QStringList{question, QStringLiteral("MsgBox[64]: No users in database."),
                          QStringLiteral("MsgBox[16]: Logon failed."), question,
                          QStringLiteral("MsgBox[64]: Please enter password for new user."),
                          QStringLiteral("frmGetNewPass: Enter password for user ") + FormFixture::LoginName()}));
    QVERIFY(!form_->isVisible());
    // Esc leaves the question unanswered, which gives up the logon.
    ScriptedModals escape{Answer::Escape()};
    form_->Form_MouseMove(TrayEvent::DoubleClick);
    QCOMPARE(escape.log(), QStringList{question});
    QVERIFY(!form_->isVisible() && !form_->Session().Unlocked());
}

void TestFrmAccount::trayEventsWaitWhileOneIsHandled()
{
    fixture_->AddUser(FormFixture::LoginName(), QStringLiteral("pw"));
    form_ = fixture_->LoadForm();
    frmAccount *form = form_.get();
    ScriptedModals modals{Answer([form](QDialog &) {
                              form->Form_MouseMove(TrayEvent::DoubleClick);
                              form->Form_MouseMove(TrayEvent::ContextMenu);
                              return QString();
                          }),
                          Answer::Password(QStringLiteral("pw"))};
    form_->Form_MouseMove(TrayEvent::DoubleClick);
    QCOMPARE(modals.log().size(), 1);
    QVERIFY(form_->isVisible());
}

void TestFrmAccount::unattendedUnloadTriesTheSaveAgainForAWhileWithoutAsking_data()
{
    QTest::addColumn<bool>("released");
    QTest::newRow("lock released after the first try") << true;
    QTest::newRow("lock held throughout") << false;
}

void TestFrmAccount::unattendedUnloadTriesTheSaveAgainForAWhileWithoutAsking()
{
    QFETCH(bool, released);
    Database &other = fixture_->database();
    other.Execute(u"INSERT INTO Accounts ([UserID],[Account]) VALUES (1,'a');");
    form_ = LoggedOn();
    static_cast<QLineEdit *>(form_->txt[1]->Widget())->setText(QStringLiteral("typed"));
    Transaction lock(other);
    other.Execute(u"INSERT INTO [Parameters] ([Name], [Value]) VALUES ('lock', '1');");
    // The first try waits out the store's 5 s for the lock and fails.
    std::thread release;
    if (released)
        release = std::thread([&lock] {
            std::this_thread::sleep_for(std::chrono::seconds(6));
            lock.Commit();
        });
    ScriptedModals modals;
    form_->UnloadUnattended();
    if (release.joinable())
        release.join();
    else
        lock.Commit();
    QCOMPARE(modals.log(), QStringList());
    QVERIFY(!form_->Session().database());
    const auto row = other.OpenRecordset(u"SELECT * FROM Accounts;");
    QCOMPARE(NullToEmpty(row->Fields(u"UserName")).ToText(), released ? u"typed" : u"");
}

QTEST_MAIN(TestFrmAccount)
#include "tst_frmaccount.moc"
