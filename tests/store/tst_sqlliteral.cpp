#include "SqlLiteral.h"
#include "TestSupport.h"

#include <QtTest>

using namespace Qt::Literals::StringLiterals;

class TestSqlLiteral : public QObject
{
    Q_OBJECT

private slots:
    void literal_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty text") << u""_s << u"''"_s;
        QTest::newRow("apostrophes doubled") << u"O'Neil's"_s << u"'O''Neil''s'"_s;
        QTest::newRow("space and tilde stay quoted, DEL and 31 do not")
            << u" ~\x7f\x1f"_s << u"' ~' & ChrW(127) & ChrW(31)"_s;
        QTest::newRow("leading control, trailing euro sign") << u"\tx\u20AC"_s << u"ChrW(9) & 'x' & ChrW(8364)"_s;
        QTest::newRow("run between controls quoted alone") << u"\x01it's\x02"_s << u"ChrW(1) & 'it''s' & ChrW(2)"_s;
        QTest::newRow("NUL") << QString(QChar(0)) << u"ChrW(0)"_s;
        QTest::newRow("from U+8000 negative") << u"\u7FFF\u8000\uFFFD"_s << u"ChrW(32767) & ChrW(-32768) & ChrW(-3)"_s;
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << u"ChrW(-10240)"_s;
        // Past the first chunk of the text being built.
        QTest::newRow("1500 apostrophes") << QString(1500, u'\'') << u"'"_s + QString(3000, u'\'') + u"'"_s;
    }

    void literal()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(ToQString(SqlLiteral(ToU16(text))), expected);
    }
};

QTEST_APPLESS_MAIN(TestSqlLiteral)
#include "tst_sqlliteral.moc"
