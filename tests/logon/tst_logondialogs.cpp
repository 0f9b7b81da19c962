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
    // Asks the password of the user the caption names, types each text where the focus is and moves on
    // with Tab, then ends the dialog. Cancelling gives exactly one NUL character; whichever way the
    // dialog ends, its boxes are emptied first.
    void answers_data()
    {
        QTest::addColumn<bool>("newPassword");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<Answer>("end");
        QTest::addColumn<QString>("password");
        const QString cancelled(QChar(u'\0'));
        const QStringList once{"Secret"}, twice{"Secret", "Secret"};
        QTest::newRow("no name, Enter") << false << "Enter password" << once << Enter() << "Secret";
        QTest::newRow("nothing typed, Enter")
            << false << "Enter password for user bob" << QStringList{} << Enter() << QString();
        QTest::newRow("Esc") << false << "Enter password for user bob" << once << Answer::Escape() << cancelled;
        QTest::newRow("odd name, close box")
            << false << u"Enter password for user J\u00f6rg \U0001F600"_s << once << Answer::Close() << cancelled;
        QTest::newRow("new, no name, Enter") << true << "Enter password" << twice << Enter() << "Secret";
        QTest::newRow("new, two empty boxes agree")
            << true << "Enter password for user bob" << QStringList{} << Enter() << QString();
        QTest::newRow("new, Cancel") << true << "Enter password for user bob" << twice << Answer::Cancel() << cancelled;
    }

    void answers()
    {
        QFETCH(bool, newPassword);
        QFETCH(QString, caption);
        QFETCH(QStringList, typed);
        QFETCH(Answer, end);
        QFETCH(QString, password);
        const QString name = caption.section(u" for user "_s, 1);
        bool emptied = false;
        ScriptedModals modals{Answer([&](QDialog &dialog) {
            for (const QString &text : typed) {
                QTest::keyClicks(dialog.focusWidget(), text);
                QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
            }
            const QList<PasswordBox *> boxes = dialog.findChildren<PasswordBox *>();
            QObject::connect(&dialog, &QDialog::finished, &dialog, [&emptied, boxes] {
                emptied = boxes.first()->text().isEmpty() && boxes.last()->text().isEmpty();
            });
            return end(dialog);
        })};
        QCOMPARE(newPassword ? AskNewPassword(name) : AskPassword(name), password);
        QCOMPARE(modals.titles(), QStringList{caption});
        QVERIFY(emptied);
    }

    // What a paste into the password box keeps: at most 50 characters, no control character, no half
    // of a character.
    void passwordBoxLimits_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("after");
        const QString smiley = u"\U0001F600"_s;
        QTest::newRow("51 characters") << QString() << QString(51, u'x') << QString(50, u'x');
        QTest::newRow("emoji fits") << QString(48, u'x') << smiley << QString(48, u'x') + smiley;
        QTest::newRow("emoji cut at the limit") << QString(49, u'x') << smiley << QString(49, u'x');
        QTest::newRow("NUL within") << "ab" << u"c"_s + QChar(u'\0') + u'd' << "ab";
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

    // The list shows the names in their order with the first one selected; no names empty it.
    void userListShowsTheNamesInOrder()
    {
        frmUserList form;
        form.ImportUserList({u"bob", u"alice"});
        QCOMPARE(form.cmbUserName->count(), 2);
        QCOMPARE(form.cmbUserName->currentText(), u"bob"_s);
        form.ImportUserList({});
        QCOMPARE(form.cmbUserName->count(), 0);
    }

    // Whatever is in the edit field, nothing completed or corrected; Esc gives up the choice.
    void okGivesTheNameAsTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("unknown name") << "carol";
        QTest::newRow("start of a listed name") << "al";
        QTest::newRow("listed name in other case") << "ALICE";
        QTest::newRow("Esc") << QString();
    }

    void okGivesTheNameAsTyped()
    {
        QFETCH(QString, typed);
        frmUserList form;
        form.ImportUserList({u"bob", u"alice"});
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
