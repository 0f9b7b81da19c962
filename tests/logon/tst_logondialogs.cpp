#include "ScriptedModals.h"

#include "frmGetNewPass.h"
#include "frmGetPass.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestLogonDialogs : public QObject
{
    Q_OBJECT

private slots:
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
        ScriptedModals modals{Answers::Button(vbOK)};
        QTest::keyClick(form.txtConfirm, Qt::Key_Return);
        QVERIFY(form.isVisible() && !form.AllOk());
        QCOMPARE(form.txtPass->text() + u'/' + form.txtConfirm->text(), u"Secret/secret"_s);
        QCOMPARE(modals.log(), QStringList{u"MsgBox[64]: Please confirm password correctly."_s});
    }
};

QTEST_MAIN(TestLogonDialogs)
#include "tst_logondialogs.moc"
