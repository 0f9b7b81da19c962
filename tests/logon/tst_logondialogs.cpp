#include "ScriptedModals.h"

#include "PasswordPrompts.h"
#include "frmGetNewPass.h"
#include "frmGetPass.h"
#include "frmUserList.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

// Presses Enter in the password box.
static Answer Enter()
{
    return Answer([](QDialog &dialog) {
        QTest::keyClick(dialog.findChild<PasswordBox *>(u"txtPass"_s), Qt::Key_Return);
        return QString();
    });
}

class TestLogonDialogs : public QObject
{
    Q_OBJECT

private slots:
    // Types each text where the focus is and moves on with Tab, then ends the dialog. Cancelling gives exactly one
    // NUL character; whichever way the dialog ends, its boxes are emptied first.
    void passwordAnswers_data()
    {
        QTest::addColumn<bool>("newPassword");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<Answer>("end");
        QTest::addColumn<QString>("password");
        const QString cancelled(QChar(u'\0'));
        QTest::newRow("Enter") << false << u"Secret"_s << Enter() << u"Secret"_s;
        QTest::newRow("Esc") << false << u"Secret"_s << Answer::Escape() << cancelled;
        QTest::newRow("new, Enter") << true << u"Secret"_s << Enter() << u"Secret"_s;
        QTest::newRow("new, two empty boxes agree") << true << QString() << Enter() << QString();
        QTest::newRow("new, close box") << true << u"Secret"_s << Answer::Close() << cancelled;
    }

    void passwordAnswers()
    {
        QFETCH(bool, newPassword);
        QFETCH(QString, typed);
        QFETCH(Answer, end);
        QFETCH(QString, password);
        bool emptied = false;
        ScriptedModals modals{Answer([&](QDialog &dialog) {
            for (int i = 0; i < (newPassword ? 2 : 1); ++i) {
                QTest::keyClicks(dialog.focusWidget(), typed);
                QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
            }
            const QList<PasswordBox *> boxes = dialog.findChildren<PasswordBox *>();
            QObject::connect(&dialog, &QDialog::finished, &dialog, [&emptied, boxes] {
                emptied = boxes.first()->text().isEmpty() && boxes.last()->text().isEmpty();
            });
            return end(dialog);
        })};
        const QString name = u"J\u00f6rg \U0001F600"_s;
        QCOMPARE(newPassword ? AskNewPassword(name) : AskPassword(name), password);
        QCOMPARE(modals.log().first().section(u": "_s, 1), u"Enter password for user "_s + name);
        QVERIFY(emptied);
    }

    // What a paste into the password box keeps: at most 50 characters, no control character, no half of a character.
    void passwordBoxLimits_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("after");
        const QString smiley = u"\U0001F600"_s;
        QTest::newRow("51 characters") << QString() << QString(51, u'x') << QString(50, u'x');
        QTest::newRow("emoji fits") << QString(48, u'x') << smiley << QString(48, u'x') + smiley;
        QTest::newRow("emoji cut at the limit") << QString(49, u'x') << smiley << QString(49, u'x');
        QTest::newRow("NUL within") << u"ab"_s << u"c"_s + QChar(u'\0') + u'd' << u"ab"_s;
        QTest::newRow("lone surrogate") << QString() << QString(QChar(0xD800)) << QString();
    }

    void passwordBoxLimits()
    {
        QFETCH(QString, before);
        QFETCH(QString, pasted);
        QFETCH(QString, after);
        frmGetPass form;
        form.txtPass->setText(before);
        form.txtPass->insert(pasted);
        QCOMPARE(form.txtPass->text(), after);
    }

    // Letter case counts; the dialog stays open with both boxes as typed.
    void confirmationMustMatchExactly()
    {
        frmGetNewPass form;
        form.show();
        QTest::keyClicks(form.txtPass, u"Secret"_s);
        QTest::keyClicks(form.txtConfirm, u"secret"_s);
        ScriptedModals modals{Answer::Button(vbOK)};
        QTest::keyClick(form.txtConfirm, Qt::Key_Return);
        QVERIFY(form.isVisible() && !form.AllOk());
        QCOMPARE(form.txtPass->text() + u'/' + form.txtConfirm->text(), u"Secret/secret"_s);
        QCOMPARE(modals.log(), QStringList{u"MsgBox[64]: Please confirm password correctly."_s});
    }

    // The name as typed, never completed from the list or corrected to a listed name's case; Esc gives up.
    void userListGivesTheNameAsTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("start of a listed name") << u"al"_s;
        QTest::newRow("listed name in other case") << u"ALICE"_s;
        QTest::newRow("Esc") << QString();
    }

    void userListGivesTheNameAsTyped()
    {
        QFETCH(QString, typed);
        frmUserList form;
        form.ImportUserList({u"bob", u"alice"});
        QCOMPARE(form.cmbUserName->currentText(), u"bob"_s);
        form.show();
        QWidget *edit = form.cmbUserName->lineEdit();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, typed);
        QTest::keyClick(edit, typed.isEmpty() ? Qt::Key_Escape : Qt::Key_Return);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.AllOk(), !typed.isEmpty());
        QCOMPARE(form.UserName(), typed);
    }
};

QTEST_MAIN(TestLogonDialogs)
#include "tst_logondialogs.moc"
