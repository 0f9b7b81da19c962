#include "LoggedOnForm.h"
#include "ScriptedModals.h"

#include <QAction>
#include <QLabel>
#include <QLayout>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

// The program and its window: a logon held to one, a file refused with its reason, the window laid out.
class TestFrmAccount : public QObject
{
    Q_OBJECT

private slots:
    // Each step of a logon in turn is answered only after every other way in was tried while it was open: they
    // bring it forward and start nothing. A logon that ends short leaves nobody logged on, and the next double
    // click starts a new one.
    void aLogonUnderWayIsOnlyBroughtForward_data()
    {
        QTest::addColumn<QStringList>("users");
        QTest::addColumn<QList<Answer>>("steps");
        QTest::addColumn<bool>("loggedOn");
        namespace A = Answers;
        using enum MsgBoxAnswer;
        QTest::newRow("register question, registered")
            << QStringList{u"bob"_s} << QList{A::Button(Yes), A::Button(Ok), A::NewPassword(u"pw"_s, u"pw"_s)} << true;
        QTest::newRow("user list, password given up")
            << QStringList{u"bob"_s} << QList{A::Button(No), A::PickUser(u"bob"_s), A::Escape()} << false;
        QTest::newRow("logon failed message")
            << QStringList() << QList{A::Button(No), A::Button(Ok), A::Button(Ok), A::Escape()} << false;
        QTest::newRow("incorrect password message, then right")
            << QStringList{FormFixture::LoginName()} << QList{A::Password(u"x"_s), A::Button(Ok), A::Password(u"pw"_s)}
            << true;
    }

    void aLogonUnderWayIsOnlyBroughtForward()
    {
        QFETCH(QStringList, users);
        QFETCH(QList<Answer>, steps);
        QFETCH(bool, loggedOn);
        FormFixture fixture;
        for (const QString &name : users)
            fixture.AddUser(name, u"pw"_s);
        const std::unique_ptr<Program> form = fixture.LoadForm();
        {
            ScriptedModals modals;
            for (const Answer &step : steps)
                modals.Add(OnlyBroughtForward(form.get(), step, modals));
            form->TrayDoubleClicked();
            QCOMPARE(modals.log().size(), steps.size());
        }
        QCOMPARE(form->Session().LoggedOn(), loggedOn);
        QCOMPARE(form->Session().Unlocked(), loggedOn);
        QCOMPARE(form->Window().isVisible(), loggedOn);
        const auto names =
            Sql(fixture.database(), u"SELECT count(*) = count(DISTINCT UserName) FROM User;").front().ToLong();
        QCOMPARE(names, 1);
        if (!loggedOn) {
            ScriptedModals modals{Answers::Escape()};
            form->TrayDoubleClicked();
            QCOMPARE(modals.log().size(), 1);
        }
    }

    // What the file itself tells of why it was refused follows the message.
    void aFileWithObjectsOfAnothersIsRefusedWithTheReason()
    {
        FormFixture fixture;
        Sql(fixture.database(), u"CREATE TABLE Other (x);");
        ScriptedModals modals{Answers::Button(MsgBoxAnswer::Ok)};
        QVERIFY(!fixture.LoadForm());
        QCOMPARE(modals.log(), QStringList{u"MsgBox[Critical Ok]: Cannot open database.\nThe file holds objects the "
                                           u"program does not make."_s});
    }

    // At any font the fields stand in one column, each with its label ending left of it on its first line, nothing
    // leaves the window, and a larger font makes a larger window.
    void theWindowIsLaidOutForItsFont()
    {
        FormFixture fixture;
        const std::unique_ptr<Program> program = fixture.LoadForm();
        frmAccount &window = program->Window();
        QSize previous;
        for (const int points : {8, 14}) {
            QFont font = window.font();
            font.setPointSize(points);
            window.setFont(font);
            window.ShowWindow();
            window.layout()->activate();
            std::optional<int> column;
            for (const QLabel *label : window.findChildren<QLabel *>()) {
                const QRect field = label->buddy()->geometry(), at = label->geometry();
                QVERIFY(window.rect().contains(field) && window.rect().contains(at));
                if (label->buddy()->inherits("QListWidget"))
                    continue;
                QCOMPARE(field.left(), column.value_or(field.left()));
                column = field.left();
                QVERIFY2(at.right() < field.left() && at.top() < field.top() + label->fontMetrics().height() &&
                             at.bottom() > field.top(),
                         qPrintable(label->text()));
            }
            QVERIFY(window.width() > previous.width() && window.height() > previous.height());
            previous = window.size();
        }
    }

private:
    // The answer, given once every other way into a logon was tried and none opened a step or the window.
    static Answer OnlyBroughtForward(Program *form, const Answer &answer, const ScriptedModals &modals)
    {
        return [form, &modals, answer](QDialog &dialog) {
            const qsizetype shown = modals.log().size();
            form->ExternalActivate();
            form->TrayDoubleClicked();
            form->TrayContextMenu();
            for (const QString &item : {u"mnuLogOn"_s, u"mnuOpen"_s})
                form->Window().findChild<QAction *>(item)->trigger();
            QCoreApplication::processEvents();
            if (modals.log().size() != shown || form->Window().isVisible())
                return u"a way in started another logon step"_s;
            return answer(dialog);
        };
    }
};

QTEST_MAIN(TestFrmAccount)
#include "tst_frmaccount.moc"
