#include "ScriptedModals.h"

#include "PasswordPrompts.h"
#include "WipePassword.h"
#include "frmGetNewPass.h"
#include "frmGetPass.h"

#include <QPushButton>
#include <QTest>

#include <algorithm>

namespace {

enum class Form
{
    GetPass,
    GetNewPass
};

QString Ask(Form form, const QString &name)
{
    return form == Form::GetPass ? AskPassword(name) : AskNewPassword(name);
}

// Types each text into the dialog's password boxes in turn with key events, then presses the key in
// txtPass.
Answer TypeAndPress(const QStringList &texts, Qt::Key key)
{
    return Answer([texts, key](QDialog &dialog) {
        const QList<PasswordBox *> boxes = {dialog.findChild<PasswordBox *>(QStringLiteral("txtPass")),
                                            dialog.findChild<PasswordBox *>(QStringLiteral("txtConfirm"))};
        for (qsizetype i = 0; i < texts.size(); ++i)
            QTest::keyClicks(boxes.at(i), texts.at(i));
        QTest::keyClick(boxes.first(), key);
        return QString();
    });
}

// Checks, when the dialog closes, that its boxes were emptied before; types into both boxes first.
Answer TypeAndCheckEmptiedOnClose(bool &emptied, const QString &buttonName)
{
    return Answer([&emptied, buttonName](QDialog &dialog) {
        const QList<PasswordBox *> boxes = dialog.findChildren<PasswordBox *>();
        for (PasswordBox *box : boxes)
            QTest::keyClicks(box, QStringLiteral("Secret"));
        QObject::connect(&dialog, &QDialog::finished, &dialog, [&emptied, boxes] {
            emptied = std::all_of(boxes.begin(), boxes.end(), [](PasswordBox *box) { return box->text().isEmpty(); });
        });
        dialog.findChild<QPushButton *>(buttonName)->click();
        return QString();
    });
}

} // namespace

Q_DECLARE_METATYPE(Form)
Q_DECLARE_METATYPE(Answer)

class TestPasswordDialogs : public QObject
{
    Q_OBJECT

private slots:
    void captionNamesTheUser_data();
    void captionNamesTheUser();
    void closedDialogKeepsItsCaption();
    void answers_data();
    void answers();
    void focusStartsInThePasswordBox();
    void passwordBoxShowsStarsAndTakesFiftyCharacters();
    void passwordBoxRefusesControlCharactersAndHalfCharacters_data();
    void passwordBoxRefusesControlCharactersAndHalfCharacters();
    void passwordBoxSelectsItsTextOnFocus();
    void confirmationMustMatchExactly();
    void boxesAreEmptiedBeforeTheDialogCloses_data();
    void boxesAreEmptiedBeforeTheDialogCloses();
    void resultIsTheOnlyReferenceToTheTypedCharacters();
};

void TestPasswordDialogs::captionNamesTheUser_data()
{
    QTest::addColumn<Form>("form");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");

    QTest::newRow("password, no name") << Form::GetPass << QString() << QStringLiteral("Enter password");
    QTest::newRow("password, bob") << Form::GetPass << QStringLiteral("bob")
                                   << QStringLiteral("Enter password for user bob");
    QTest::newRow("new password, no name") << Form::GetNewPass << QString() << QStringLiteral("Enter password");
    QTest::newRow("new password, odd name") << Form::GetNewPass << QStringLiteral("J\u00f6rg \U0001F600")
                                            << QStringLiteral("Enter password for user J\u00f6rg \U0001F600");
}

void TestPasswordDialogs::captionNamesTheUser()
{
    QFETCH(Form, form);
    QFETCH(QString, name);
    QFETCH(QString, caption);
    ScriptedModals modals{Answer::Cancel()};
    Ask(form, name);
    QCOMPARE(modals.titles(), QStringList{caption});
}

void TestPasswordDialogs::closedDialogKeepsItsCaption()
{
    frmGetPass form;
    form.UserName(QStringLiteral("alice"));
    form.show();
    form.cmdCancel->click();
    form.UserName(QStringLiteral("bob"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Enter password for user alice"));
    QCOMPARE(form.UserName(), QStringLiteral("bob"));
    QVERIFY(!form.isVisible());
}

void TestPasswordDialogs::answers_data()
{
    QTest::addColumn<Form>("form");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QString>("password");

    const QString cancelled = QString(QChar(u'\0'));
    QTest::newRow("password typed, Enter")
        << Form::GetPass << TypeAndPress({QStringLiteral("Secret")}, Qt::Key_Return) << QStringLiteral("Secret");
    QTest::newRow("empty password, Enter") << Form::GetPass << TypeAndPress({}, Qt::Key_Enter) << QString();
    QTest::newRow("password, Esc") << Form::GetPass << TypeAndPress({QStringLiteral("Secret")}, Qt::Key_Escape)
                                   << cancelled;
    QTest::newRow("password, Cancel") << Form::GetPass << Answer::Cancel() << cancelled;
    QTest::newRow("password, close box") << Form::GetPass << Answer::Close() << cancelled;
    QTest::newRow("new password typed twice, Enter")
        << Form::GetNewPass << TypeAndPress({QStringLiteral("Secret"), QStringLiteral("Secret")}, Qt::Key_Return)
        << QStringLiteral("Secret");
    QTest::newRow("two empty boxes, Enter") << Form::GetNewPass << TypeAndPress({}, Qt::Key_Return) << QString();
    QTest::newRow("new password, Esc") << Form::GetNewPass
                                       << TypeAndPress({QStringLiteral("Secret"), QStringLiteral("Secret")},
                                                       Qt::Key_Escape)
                                       << cancelled;
    QTest::newRow("new password, Cancel") << Form::GetNewPass << Answer::Cancel() << cancelled;
    QTest::newRow("new password, close box") << Form::GetNewPass << Answer::Close() << cancelled;
}

void TestPasswordDialogs::answers()
{
    QFETCH(Form, form);
    QFETCH(Answer, answer);
    QFETCH(QString, password);
    ScriptedModals modals{answer};
    const QString result = Ask(form, QStringLiteral("bob"));
    QCOMPARE(result, password);
}

void TestPasswordDialogs::focusStartsInThePasswordBox()
{
    frmGetNewPass form;
    form.show();
    QCOMPARE(form.focusWidget(), form.txtPass);
}

void TestPasswordDialogs::passwordBoxShowsStarsAndTakesFiftyCharacters()
{
    frmGetPass form;
    form.show();
    QTest::keyClicks(form.txtPass, QString(51, u'x'));
    QCOMPARE(form.txtPass->text(), QString(50, u'x'));
    QCOMPARE(form.txtPass->displayText(), QString(50, u'*'));
}

void TestPasswordDialogs::passwordBoxRefusesControlCharactersAndHalfCharacters_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("after");

    const QString smiley = QStringLiteral("\U0001F600");
    QTest::newRow("NUL alone") << QString() << QString(QChar(u'\0')) << QString();
    QTest::newRow("NUL within") << QStringLiteral("ab") << QStringLiteral("c") + QChar(u'\0') + u'd'
                                << QStringLiteral("ab");
    QTest::newRow("line break") << QString() << QStringLiteral("secret\n") << QString();
    QTest::newRow("lone surrogate") << QString() << QString(QChar(0xD800)) << QString();
    QTest::newRow("emoji fits") << QString(48, u'x') << smiley << QString(48, u'x') + smiley;
    QTest::newRow("emoji cut at the limit") << QString(49, u'x') << smiley << QString(49, u'x');
    QTest::newRow("accents and emoji") << QString() << QStringLiteral("\u00e9t\u00e9") + smiley
                                       << QStringLiteral("\u00e9t\u00e9") + smiley;
}

void TestPasswordDialogs::passwordBoxRefusesControlCharactersAndHalfCharacters()
{
    QFETCH(QString, before);
    QFETCH(QString, pasted);
    QFETCH(QString, after);
    frmGetPass form;
    form.txtPass->setText(before);
    form.txtPass->insert(pasted);
    QCOMPARE(form.txtPass->text(), after);
}

void TestPasswordDialogs::passwordBoxSelectsItsTextOnFocus()
{
    frmGetNewPass form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QTest::keyClicks(form.txtPass, QStringLiteral("Secret"));
    form.txtConfirm->setFocus(Qt::MouseFocusReason);
    form.txtPass->setFocus(Qt::OtherFocusReason);
    QCOMPARE(form.txtPass->selectedText(), QStringLiteral("Secret"));
}

void TestPasswordDialogs::confirmationMustMatchExactly()
{
    bool keptOpen = false;
    Answer mismatch([&keptOpen](QDialog &dialog) {
        auto &form = static_cast<frmGetNewPass &>(dialog);
        QTest::keyClicks(form.txtPass, QStringLiteral("Secret"));
        QTest::keyClicks(form.txtConfirm, QStringLiteral("secret"));
        QTest::keyClick(form.txtConfirm, Qt::Key_Return);
        keptOpen = form.isVisible() && form.txtPass->text() == u"Secret" && form.txtConfirm->text() == u"secret";
        return QString();
    });
    ScriptedModals modals{mismatch, Answer::Button(vbOK),
                          Answer::NewPassword(QStringLiteral("Secret"), QStringLiteral("Secret"))};
    QCOMPARE(AskNewPassword(QStringLiteral("bob")), QStringLiteral("Secret"));
    QVERIFY(keptOpen);
    QCOMPARE(modals.log(), (QStringList{QStringLiteral("frmGetNewPass: Enter password for user bob"),
                                        QStringLiteral("MsgBox[64]: Please confirm password correctly.")}));
    QCOMPARE(modals.titles().at(1), QStringLiteral("Tarnwick"));
}

void TestPasswordDialogs::boxesAreEmptiedBeforeTheDialogCloses_data()
{
    QTest::addColumn<Form>("form");
    QTest::addColumn<QString>("button");

    QTest::newRow("password, OK") << Form::GetPass << QStringLiteral("cmdOk");
    QTest::newRow("password, Cancel") << Form::GetPass << QStringLiteral("cmdCancel");
    QTest::newRow("new password, OK") << Form::GetNewPass << QStringLiteral("cmdOk");
    QTest::newRow("new password, Cancel") << Form::GetNewPass << QStringLiteral("cmdCancel");
}

void TestPasswordDialogs::boxesAreEmptiedBeforeTheDialogCloses()
{
    QFETCH(Form, form);
    QFETCH(QString, button);
    bool emptied = false;
    ScriptedModals modals{TypeAndCheckEmptiedOnClose(emptied, button)};
    Ask(form, QStringLiteral("bob"));
    QVERIFY(emptied);
}

void TestPasswordDialogs::resultIsTheOnlyReferenceToTheTypedCharacters()
{
    const QChar *typed = nullptr;
    ScriptedModals modals{Answer([&typed](QDialog &dialog) {
        auto &form = static_cast<frmGetPass &>(dialog);
        QTest::keyClicks(form.txtPass, QStringLiteral("Secret"));
        typed = form.txtPass->text().constData();
        form.cmdOk->click();
        return QString();
    })};
    QString password = AskPassword(QStringLiteral("bob"));
    QCOMPARE(password, QStringLiteral("Secret"));
    QCOMPARE(password.constData(), typed);
    QVERIFY(password.isDetached());
    WipePassword(password);
    QVERIFY(password.isEmpty());
}

QTEST_MAIN(TestPasswordDialogs)
#include "tst_passworddialogs.moc"
