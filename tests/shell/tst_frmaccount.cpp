#include "LoggedOnForm.h"
#include "RegFunctions.h"
#include "ScriptedModals.h"
#include "Twips.h"

#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace Registry;

namespace {

const QString ProgramKey = u"Software\\Quillmoor\\Tarnwick"_s;

} // namespace

// The main window's own logic: a logon held to one, and its place.
class TestFrmAccount : public QObject
{
    Q_OBJECT

private slots:
    void init() { fixture_ = std::make_unique<FormFixture>(); }

    void cleanup()
    {
        form_.reset();
        fixture_.reset();
    }

    // Each step of a logon in turn is answered only after every other way in was tried while it was open: they
    // bring it forward and start nothing. A logon that ends short leaves nobody logged on, and the next double
    // click starts a new one.
    void aLogonUnderWayIsOnlyBroughtForward_data()
    {
        QTest::addColumn<QStringList>("users");
        QTest::addColumn<QList<Answer>>("steps");
        QTest::addColumn<bool>("loggedOn");
        namespace A = Answers;
        QTest::newRow("register question, registered")
            << QStringList{u"bob"_s} << QList{A::Button(vbYes), A::Button(vbOK), A::NewPassword(u"pw"_s, u"pw"_s)}
            << true;
        QTest::newRow("user list, password given up")
            << QStringList{u"bob"_s} << QList{A::Button(vbNo), A::PickUser(u"bob"_s), A::Escape()} << false;
        QTest::newRow("logon failed message")
            << QStringList() << QList{A::Button(vbNo), A::Button(vbOK), A::Button(vbOK), A::Escape()} << false;
        QTest::newRow("incorrect password message, then right")
            << QStringList{FormFixture::LoginName()}
            << QList{A::Password(u"x"_s), A::Button(vbOK), A::Password(u"pw"_s)} << true;
    }

    void aLogonUnderWayIsOnlyBroughtForward()
    {
        QFETCH(QStringList, users);
        QFETCH(QList<Answer>, steps);
        QFETCH(bool, loggedOn);
        for (const QString &name : users)
            fixture_->AddUser(name, u"pw"_s);
        form_ = fixture_->LoadForm();
        {
            ScriptedModals modals;
            for (const Answer &step : steps)
                modals.Add(OnlyBroughtForward(step, modals));
            form_->Form_MouseMove(TrayEvent::DoubleClick);
            QCOMPARE(modals.log().size(), steps.size());
        }
        QCOMPARE(form_->Session().LoggedOn(), loggedOn);
        QCOMPARE(form_->Session().Unlocked(), loggedOn);
        QCOMPARE(form_->isVisible(), loggedOn);
        const auto names =
            Sql(fixture_->database(), u"SELECT count(*) = count(DISTINCT UserName) FROM User;").front().ToLong();
        QCOMPARE(names, 1);
        if (!loggedOn) {
            ScriptedModals modals{Answers::Escape()};
            form_->Form_MouseMove(TrayEvent::DoubleClick);
            QCOMPARE(modals.log().size(), 1);
        }
    }

    void placeIsCorrectedOnlyBeyondTheScreen_data()
    {
        QTest::addColumn<int>("left");
        QTest::addColumn<bool>("centred");
        QTest::newRow("beyond the right edge") << 1000000 << true;
        QTest::newRow("partly off the left edge") << -500 << false;
    }

    void placeIsCorrectedOnlyBeyondTheScreen()
    {
        QFETCH(int, left);
        QFETCH(bool, centred);
        SetRegLong(ProgramKey, u"FormStartX"_s, left, HKEY_CURRENT_USER);
        SetRegLong(ProgramKey, u"FormStartY"_s, 100, HKEY_CURRENT_USER);
        form_ = fixture_->LoadForm();
        const int screen = QGuiApplication::primaryScreen()->size().width();
        QCOMPARE(form_->x(), centred ? (screen - form_->width()) / 2 : TwipsToPixelsX(left));
        QCOMPARE(form_->y() != TwipsToPixelsY(100), centred);
    }

private:
    // The answer, given once every other way into a logon was tried and none opened a step or the window.
    Answer OnlyBroughtForward(const Answer &answer, const ScriptedModals &modals)
    {
        frmAccount *form = form_.get();
        return [form, &modals, answer](QDialog &dialog) {
            const qsizetype shown = modals.log().size();
            form->ExternalActivate();
            form->Form_MouseMove(TrayEvent::DoubleClick);
            form->Form_MouseMove(TrayEvent::ContextMenu);
            form->mnuLogOn->trigger();
            form->mnuOpen->trigger();
            QCoreApplication::processEvents();
            if (modals.log().size() != shown || form->isVisible())
                return u"a way in started another logon step"_s;
            return answer(dialog);
        };
    }

    std::unique_ptr<FormFixture> fixture_;
    std::unique_ptr<frmAccount> form_;
};

QTEST_MAIN(TestFrmAccount)
#include "tst_frmaccount.moc"
