#include "ScriptedModals.h"

#include "MsgBox.h"
#include "Prompts.h"

#include <QMessageBox>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

using Answers = QList<Answer>;

// Presses Enter, that is the default button, and checks that the message box has no owner and shows plain text.
static Answer Enter()
{
    return Answer([](QDialog &dialog) {
        QTest::keyClick(&dialog, Qt::Key_Return);
        const bool plain = static_cast<QMessageBox &>(dialog).textFormat() == Qt::PlainText;
        return plain && !dialog.parent() ? QString() : u"an owned box or one showing rich text"_s;
    });
}

class TestPrompts : public QObject
{
    Q_OBJECT

private slots:
    // The box shown (its icon and buttons as the style that shows them, its title) and the answer returned.
    void messageBoxes_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("title");
        QTest::addColumn<Answers>("answers");
        QTest::addColumn<int>("shownStyle");
        QTest::addColumn<QString>("shownTitle");
        QTest::addColumn<int>("result");
        QTest::newRow("no title means the application's, Esc on OK only")
            << "MsgBox" << int(vbCritical) << QString() << Answers{Answer::Escape()} << 16 << "Tarnwick" << int(vbOK);
        QTest::newRow("OK and Cancel, OK is default") << "MsgBox" << (vbExclamation | vbOKCancel) << QString()
                                                      << Answers{Enter()} << 49 << "Tarnwick" << int(vbOK);
        QTest::newRow("Retry and Cancel, Retry is default") << "MsgBox" << (vbQuestion | vbRetryCancel) << QString()
                                                            << Answers{Enter()} << 37 << "Tarnwick" << int(vbRetry);
        QTest::newRow("Yes/No left unanswered with Esc")
            << "MsgBox" << (vbQuestion | vbYesNo) << QString() << Answers{Answer::Escape()} << 36 << "Tarnwick"
            << int(vbCancel);
        QTest::newRow("a closed question is no consent")
            << "AskYesNo" << int(vbQuestion) << "Default" << Answers{Answer::Close()} << 36 << "Tarnwick" << int(vbNo);
        QTest::newRow("Default means the application's")
            << "AskYesNo" << int(vbQuestion) << "Default" << Answers{Answer::Button(vbNo)} << 36 << "Tarnwick"
            << int(vbNo);
        QTest::newRow("default in other case is kept")
            << "AskYesNo" << int(vbQuestion) << "default" << Answers{Enter()} << 36 << "default" << int(vbYes);
        QTest::newRow("three-way question, close box") << "AskYesNoCancel" << int(vbExclamation) << "Default"
                                                       << Answers{Answer::Close()} << 51 << "Tarnwick" << int(vbCancel);
    }

    void messageBoxes()
    {
        QFETCH(QString, call);
        QFETCH(int, style);
        QFETCH(QString, title);
        QFETCH(Answers, answers);
        QFETCH(int, shownStyle);
        QFETCH(QString, shownTitle);
        QFETCH(int, result);
        ScriptedModals modals;
        for (const Answer &answer : answers)
            modals.Add(answer);
        const QString text = u"User <b>bob</b> not found"_s;
        int kept = style;
        const int answered = call == u"MsgBox"     ? MsgBox(text, style, title)
                             : call == u"AskYesNo" ? (AskYesNo(text, title, kept) ? vbYes : vbNo)
                                                   : AskYesNoCancel(text, title, kept);
        QCOMPARE(answered, result);
        QCOMPARE(kept, style);
        QCOMPARE(modals.log(), QStringList{u"MsgBox[%1]: "_s.arg(shownStyle) + text});
        QCOMPARE(modals.titles(), QStringList{shownTitle});
    }
};

QTEST_MAIN(TestPrompts)
#include "tst_prompts.moc"
