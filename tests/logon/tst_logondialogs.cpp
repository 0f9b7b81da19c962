#include "ScriptedModals.h"

#include "frmGetNewPass.h"
#include "frmGetPass.h"

#include <QAccessible>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// The texts of the text events, as assistive technology gets them.
QStringList heard;

void Hear(QAccessibleEvent *event)
{
    if (event->type() == QAccessible::TextInserted)
        heard << static_cast<QAccessibleTextInsertEvent *>(event)->textInserted();
    else if (event->type() == QAccessible::TextRemoved)
        heard << static_cast<QAccessibleTextRemoveEvent *>(event)->textRemoved();
    else if (event->type() == QAccessible::TextUpdated)
        heard << static_cast<QAccessibleTextUpdateEvent *>(event)->textRemoved()
              << static_cast<QAccessibleTextUpdateEvent *>(event)->textInserted();
}

} // namespace

class TestLogonDialogs : public QObject
{
    Q_OBJECT

private slots:
    // Listening as assistive technology does, from before the first password box.
    void initTestCase() { QAccessible::installUpdateHandler(Hear); }

    // A screen reader hears that a password is typed, pasted or deleted, never what, and finds only the mask; the
    // events of other fields pass as they are.
    void passwordBoxTellsAssistiveTechnologyNothing()
    {
        frmGetPass form;
        QLineEdit plain;
        const QAccessible::UpdateHandler passOn = QAccessible::installUpdateHandler(nullptr);
        QAccessible::installUpdateHandler(passOn);
        QAccessibleTextInsertEvent typed(form.txtPass, 0, u"Qz7x"_s), plainTyped(&plain, 0, u"abc"_s);
        QAccessibleTextRemoveEvent deleted(form.txtPass, 3, u"Kv9w"_s);
        QAccessibleTextUpdateEvent replaced(form.txtPass, 0, u"Qz7x"_s, u"Kv9w"_s);
        heard.clear();
        for (QAccessibleEvent *event : std::initializer_list<QAccessibleEvent *>{&typed, &deleted, &replaced})
            passOn(event);
        form.txtPass->setText(u"Qz7xKv9w"_s);
        QAccessibleInterface *field = QAccessible::queryAccessibleInterface(form.txtPass);
        heard << field->text(QAccessible::Value) << field->textInterface()->text(0, 8);
        QCOMPARE(heard.mid(0, 4), QStringList(4, u"****"_s));
        QCOMPARE(heard.filter(QRegularExpression(u"[^*]"_s)), QStringList()); // Qt gives the mask, or nothing
        QVERIFY(field->state().passwordEdit);
        passOn(&plainTyped);
        QCOMPARE(heard.last(), u"abc"_s);
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
        ScriptedModals modals{Answers::Button(MsgBoxAnswer::Ok)};
        QTest::keyClick(form.txtConfirm, Qt::Key_Return);
        QVERIFY(form.isVisible() && !form.AllOk());
        QCOMPARE(form.txtPass->text() + u'/' + form.txtConfirm->text(), u"Secret/secret"_s);
        QCOMPARE(modals.log(), QStringList{u"MsgBox[Information Ok]: Please confirm password correctly."_s});
    }
};

QTEST_MAIN(TestLogonDialogs)
#include "tst_logondialogs.moc"
