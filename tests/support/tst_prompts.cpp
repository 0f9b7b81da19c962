#include "ScriptedModals.h"

#include "Modal.h"
#include "MsgBox.h"
#include "Prompts.h"

#include <QDialog>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

namespace {

// The answer the table names: a button by its caption, or "Esc", or "Close" for the close box.
Answer AnswerNamed(const QString &name)
{
    if (name == u"Esc")
        return Answer::Escape();
    if (name == u"Close")
        return Answer::Close();
    if (name == u"Cancel")
        return Answer::Cancel();
    if (name == u"Yes")
        return Answer::Button(vbYes);
    if (name == u"No")
        return Answer::Button(vbNo);
    return Answer::Button(vbOK);
}

// What a message box looked like when it appeared.
struct SeenBox
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QString title;
    Qt::TextFormat textFormat = Qt::AutoText;
    bool owned = true;
};

// Records the box, then clicks its default button.
Answer Inspect(SeenBox &seen)
{
    return Answer([&seen](QDialog &dialog) {
        auto *box = qobject_cast<QMessageBox *>(&dialog);
        if (!box)
            return QStringLiteral("not a message box");
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        seen.defaultButton = box->standardButton(box->defaultButton());
        seen.title = box->windowTitle();
        seen.textFormat = box->textFormat();
        seen.owned = box->parent() != nullptr;
        box->defaultButton()->click();
        return QString();
    });
}

} // namespace

class TestPrompts : public QObject
{
    Q_OBJECT

private slots:
    void runModalWithoutRunnerRunsTheDialogsOwnLoop();
    void messageBoxFollowsItsStyle_data();
    void messageBoxFollowsItsStyle();
    void messageBoxIsOwnerlessPlainTextWithTheApplicationsTitle_data();
    void messageBoxIsOwnerlessPlainTextWithTheApplicationsTitle();
    void messageBoxAnswers_data();
    void messageBoxAnswers();
    void yesNoBoxIgnoresEscAndTheCloseBox();
    void askYesNo_data();
    void askYesNo();
    void askYesNoCancel_data();
    void askYesNoCancel();
    void unansweredBoxFailsTheTestAndCountsAsCancelOrNo();
};

void TestPrompts::runModalWithoutRunnerRunsTheDialogsOwnLoop()
{
    QDialog dialog;
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.done(42); });
    QCOMPARE(RunModal(dialog), 42);
}

void TestPrompts::messageBoxFollowsItsStyle_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<QMessageBox::StandardButtons>("buttons");
    QTest::addColumn<QMessageBox::StandardButton>("defaultButton");

    QTest::newRow("plain OK") << int(vbOKOnly) << QMessageBox::NoIcon << QMessageBox::StandardButtons(QMessageBox::Ok)
                              << QMessageBox::Ok;
    QTest::newRow("critical") << int(vbCritical) << QMessageBox::Critical
                              << QMessageBox::StandardButtons(QMessageBox::Ok) << QMessageBox::Ok;
    QTest::newRow("information") << int(vbInformation) << QMessageBox::Information
                                 << QMessageBox::StandardButtons(QMessageBox::Ok) << QMessageBox::Ok;
    QTest::newRow("exclamation, OK and Cancel") << (vbExclamation | vbOKCancel) << QMessageBox::Warning
                                                << (QMessageBox::Ok | QMessageBox::Cancel) << QMessageBox::Ok;
    QTest::newRow("question, Yes and No")
        << (vbQuestion | vbYesNo) << QMessageBox::Question << (QMessageBox::Yes | QMessageBox::No) << QMessageBox::Yes;
    QTest::newRow("Yes, No and Cancel") << int(vbYesNoCancel) << QMessageBox::NoIcon
                                        << (QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)
                                        << QMessageBox::Yes;
    QTest::newRow("unknown button set shows OK")
        << 2 << QMessageBox::NoIcon << QMessageBox::StandardButtons(QMessageBox::Ok) << QMessageBox::Ok;
}

void TestPrompts::messageBoxFollowsItsStyle()
{
    QFETCH(int, style);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(QMessageBox::StandardButtons, buttons);
    QFETCH(QMessageBox::StandardButton, defaultButton);
    SeenBox seen;
    ScriptedModals modals{Inspect(seen)};
    MsgBox(QStringLiteral("Something happened."), style);
    QCOMPARE(seen.icon, icon);
    QCOMPARE(seen.buttons, buttons);
    QCOMPARE(seen.defaultButton, defaultButton);
}

void TestPrompts::messageBoxIsOwnerlessPlainTextWithTheApplicationsTitle_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("shownTitle");

    QTest::newRow("no title") << QString() << QStringLiteral("Tarnwick");
    QTest::newRow("own title") << QStringLiteral("Accounts") << QStringLiteral("Accounts");
}

void TestPrompts::messageBoxIsOwnerlessPlainTextWithTheApplicationsTitle()
{
    QFETCH(QString, title);
    QFETCH(QString, shownTitle);
    SeenBox seen;
    ScriptedModals modals{Inspect(seen)};
    MsgBox(QStringLiteral("User <b>bob</b> not found, register?"), vbInformation, title);
    QCOMPARE(seen.title, shownTitle);
    QCOMPARE(seen.textFormat, Qt::PlainText);
    QVERIFY(!seen.owned);
    QCOMPARE(modals.log(), QStringList{QStringLiteral("MsgBox[64]: User <b>bob</b> not found, register?")});
}

void TestPrompts::messageBoxAnswers_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("result");

    QTest::newRow("OK") << int(vbOKOnly) << QStringLiteral("OK") << int(vbOK);
    QTest::newRow("Esc on OK only") << int(vbOKOnly) << QStringLiteral("Esc") << int(vbOK);
    QTest::newRow("close box on OK only") << int(vbCritical) << QStringLiteral("Close") << int(vbOK);
    QTest::newRow("OK of OK and Cancel") << int(vbOKCancel) << QStringLiteral("OK") << int(vbOK);
    QTest::newRow("Cancel of OK and Cancel") << int(vbOKCancel) << QStringLiteral("Cancel") << int(vbCancel);
    QTest::newRow("Esc on OK and Cancel") << int(vbOKCancel) << QStringLiteral("Esc") << int(vbCancel);
    QTest::newRow("Yes") << int(vbYesNo) << QStringLiteral("Yes") << int(vbYes);
    QTest::newRow("No") << int(vbYesNo) << QStringLiteral("No") << int(vbNo);
    QTest::newRow("No of three") << int(vbYesNoCancel) << QStringLiteral("No") << int(vbNo);
    QTest::newRow("close box on Yes, No and Cancel") << int(vbYesNoCancel) << QStringLiteral("Close") << int(vbCancel);
}

void TestPrompts::messageBoxAnswers()
{
    QFETCH(int, style);
    QFETCH(QString, answer);
    QFETCH(int, result);
    ScriptedModals modals{AnswerNamed(answer)};
    QCOMPARE(MsgBox(QStringLiteral("Go on?"), style), result);
}

void TestPrompts::yesNoBoxIgnoresEscAndTheCloseBox()
{
    ScriptedModals modals{Answer::Escape(), Answer::Close(), Answer::Button(vbYes)};
    QCOMPARE(MsgBox(QStringLiteral("Go on?"), vbQuestion | vbYesNo), int(vbYes));
    QCOMPARE(modals.remaining(), 0);
}

void TestPrompts::askYesNo_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("shownTitle");
    QTest::addColumn<bool>("yes");

    QTest::newRow("Default means the application")
        << QStringLiteral("Default") << QStringLiteral("Yes") << QStringLiteral("Tarnwick") << true;
    QTest::newRow("default in other case is kept")
        << QStringLiteral("default") << QStringLiteral("No") << QStringLiteral("default") << false;
    QTest::newRow("own title") << QStringLiteral("Delete") << QStringLiteral("No") << QStringLiteral("Delete") << false;
}

void TestPrompts::askYesNo()
{
    QFETCH(QString, title);
    QFETCH(QString, answer);
    QFETCH(QString, shownTitle);
    QFETCH(bool, yes);
    ScriptedModals modals{AnswerNamed(answer)};
    int style = vbQuestion;
    QCOMPARE(AskYesNo(QStringLiteral("Really delete mail?"), title, style), yes);
    QCOMPARE(style, int(vbQuestion));
    QCOMPARE(modals.log(), QStringList{QStringLiteral("MsgBox[36]: Really delete mail?")});
    QCOMPARE(modals.titles(), QStringList{shownTitle});
}

void TestPrompts::askYesNoCancel_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("result");

    QTest::newRow("Yes") << QStringLiteral("Yes") << int(vbYes);
    QTest::newRow("No") << QStringLiteral("No") << int(vbNo);
    QTest::newRow("Cancel") << QStringLiteral("Cancel") << int(vbCancel);
    QTest::newRow("Esc") << QStringLiteral("Esc") << int(vbCancel);
    QTest::newRow("close box") << QStringLiteral("Close") << int(vbCancel);
}

void TestPrompts::askYesNoCancel()
{
    QFETCH(QString, answer);
    QFETCH(int, result);
    ScriptedModals modals{AnswerNamed(answer)};
    int style = vbQuestion;
    QCOMPARE(AskYesNoCancel(QStringLiteral("Save changes?"), QStringLiteral("Default"), style), result);
    QCOMPARE(modals.log(), QStringList{QStringLiteral("MsgBox[35]: Save changes?")});
    QCOMPARE(modals.titles(), QStringList{QStringLiteral("Tarnwick")});
}

void TestPrompts::unansweredBoxFailsTheTestAndCountsAsCancelOrNo()
{
    ScriptedModals modals;
    int style = vbQuestion;
    QEXPECT_FAIL("", "no answer is scripted", Continue);
    QVERIFY(!AskYesNo(QStringLiteral("Go on?"), QStringLiteral("Default"), style));
    QEXPECT_FAIL("", "no answer is scripted", Continue);
    QCOMPARE(MsgBox(QStringLiteral("Go on?"), vbOKCancel), int(vbCancel));
    QCOMPARE(modals.errors().size(), 2);
}

QTEST_MAIN(TestPrompts)
#include "tst_prompts.moc"
