#include "ScriptedModals.h"

#include "PasswordPrompts.h"
#include "frmGetNewPass.h"
#include "frmGetPass.h"

#include <QTest>

// Presses Enter in the password box.
static Answer Enter()
{
    return Answer([](QDialog &dialog) {
        QTest::keyClick(dialog.findChild<PasswordBox *>(QStringLiteral("txtPass")), Qt::Key_Return);
        return QString();
    });
}

class TestPasswordDialogs : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void passwordBoxLimits_data();
    void passwordBoxLimits();
    void confirmationMustMatchExactly();
};

// Asks the password of the user the caption names, types each text where the focus is and moves on
// with Tab, then ends the dialog. Cancelling gives exactly one NUL character; whichever way the
// dialog ends, its boxes are emptied first.
void TestPasswordDialogs::answers_data()
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
    QTest::newRow("odd name, close box") << false << QStringLiteral("Enter password for user J\u00f6rg \U0001F600")
                                         << once << Answer::Close() << cancelled;
    QTest::newRow("new, no name, Enter") << true << "Enter password" << twice << Enter() << "Secret";
    QTest::newRow("new, two empty boxes agree")
        << true << "Enter password for user bob" << QStringList{} << Enter() << QString();
    QTest::newRow("new, Cancel") << true << "Enter password for user bob" << twice << Answer::Cancel() << cancelled;
}

void TestPasswordDialogs::answers()
{
    QFETCH(bool, newPassword);
    QFETCH(QString, caption);
    QFETCH(QStringList, typed);
    QFETCH(Answer, end);
    QFETCH(QString, password);
    const QString name = caption.section(QStringLiteral(" for user "), 1);
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
void TestPasswordDialogs::passwordBoxLimits_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("after");
    const QString smiley = QStringLiteral("\U0001F600");
    QTest::newRow("51 characters") << QString() << QString(51, u'x') << QString(50, u'x');
    QTest::newRow("emoji fits") << QString(48, u'x') << smiley << QString(48, u'x') + smiley;
    QTest::newRow("emoji cut at the limit") << QString(49, u'x') << smiley << QString(49, u'x');
    QTest::newRow("NUL within") << "ab" << QStringLiteral("c") + QChar(u'\0') + u'd' << "ab";
    QTest::newRow("lone surrogate") << QString() << QString(QChar(0xD800)) << QString();
}

void TestPasswordDialogs::passwordBoxLimits()
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
void TestPasswordDialogs::confirmationMustMatchExactly()
{
    frmGetNewPass form;
    form.show();
    QTest::keyClicks(form.txtPass, QStringLiteral("Secret"));
    QTest::keyClicks(form.txtConfirm, QStringLiteral("secret"));
    ScriptedModals modals{Answer::Button(vbOK)};
    QTest::keyClick(form.txtConfirm, Qt::Key_Return);
    QVERIFY(form.isVisible() && !form.AllOk());
    QCOMPARE(form.txtPass->text() + u'/' + form.txtConfirm->text(), QStringLiteral("Secret/secret"));
    QCOMPARE(modals.log(), QStringList{QStringLiteral("MsgBox[64]: Please confirm password correctly.")});
}

QTEST_MAIN(TestPasswordDialogs)
#include "tst_passworddialogs.moc"
