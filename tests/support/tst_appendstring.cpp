#include "AppendString.h"
#include "TestSupport.h"

#include <QtTest>

using namespace Qt::Literals::StringLiterals;

class TestAppendString : public QObject
{
    Q_OBJECT

private slots:
    void storageGrowsByChunks();
    void lengthAndSubstrings();
    void token_data();
    void token();
    void invalidCalls();
};

// Left reads past the value up to the storage's end, which makes the storage observable.
static QString Storage(const AppendString &text)
{
    return ToQString(text.Left(1 << 30));
}

void TestAppendString::storageGrowsByChunks()
{
    AppendString text;
    const QString added(1025, u'x');
    text.AddToString(ToU16(added));
    QCOMPARE(Storage(text), added + QString(1023, u' '));
    text.ChunkSize(10);
    text.Purge();
    text.Value(u"abc");
    QCOMPARE(Storage(text), u"abc       "_s);
    text.Value(ToU16(QString(11, u'y')));
    QCOMPARE(Storage(text).size(), 21);

    AppendString pieces;
    std::u16string expected;
    for (char16_t unit = 1; unit <= 5000; ++unit) {
        pieces.AddToString(std::u16string_view(&unit, 1));
        expected += unit;
    }
    QCOMPARE(ToQString(pieces.Value()), ToQString(expected));
    QCOMPARE(Storage(pieces).size(), 5 * 1024);
}

// Shortening keeps the storage, so lengthening again shows what was there; a new value does not.
void TestAppendString::lengthAndSubstrings()
{
    AppendString text;
    text.AddToString(u"abcdef");
    text.Length(3);
    QCOMPARE(ToQString(text.Value()), u"abc"_s);
    text.Length(6);
    QCOMPARE(ToQString(text.Value()), u"abcdef"_s);
    text.Value(u"abcd");
    QCOMPARE(ToQString(text.Left(6)), u"abcd  "_s);
    QCOMPARE(ToQString(text.Mid(2)), u"bcd"_s);
    QCOMPARE(ToQString(text.Mid(3, 4)), u"cd  "_s);
    QCOMPARE(ToQString(text.Right(10)), u"abcd"_s);
    text.Mid(2, 0, u"XYZW");
    QCOMPARE(ToQString(text.Left(5)), u"aXYZ "_s);
    text.Mid(2, 1, u"bc");
    text.Mid(4, 2, u"!?");
    QCOMPARE(ToQString(text.Left(5)), u"abY!?"_s);
    QCOMPARE(text.Length(), 4);
}

// Each character of the delimiters ends a token; tokens run until EOS, or BOS backward.
void TestAppendString::token_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("delimiters");
    QTest::addColumn<int>("direction");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("forward") << u"a,b,,c"_s << u","_s << 0 << QStringList{"a", "b", "", "c"};
    QTest::newRow("backward") << u"a,b,,c"_s << u","_s << 1 << QStringList{"c", "", "b", "a"};
    QTest::newRow("every character delimits") << u"a b;c"_s << u" ;"_s << 0 << QStringList{"a", "b", "c"};
    QTest::newRow("no delimiters") << u"abc"_s << u""_s << 0 << QStringList{"abc"};
    QTest::newRow("edge delimiters, backward") << u",a,"_s << u","_s << 1 << QStringList{"", "a"};
}

void TestAppendString::token()
{
    QFETCH(QString, value);
    QFETCH(QString, delimiters);
    QFETCH(int, direction);
    QFETCH(QStringList, expected);
    AppendString text;
    text.AddToString(ToU16(value));
    text.InitToken(ToU16(delimiters), direction);
    QStringList tokens;
    while (!(direction == 0 ? text.EOS() : text.BOS()) && tokens.size() <= expected.size())
        tokens << ToQString(text.Token());
    QCOMPARE(tokens, expected);
    QCOMPARE(ToQString(text.Token()), QString());
}

// A forward Token needs InitToken first (after it, Token with new delimiters works); a failed call
// leaves the value alone.
void TestAppendString::invalidCalls()
{
    AppendString text;
    text.AddToString(u"abc");
    QCOMPARE(RaisedErrorNumber([&] { text.Token(); }), ErrorNumber::InvalidArgument);
    text.InitToken(u",");
    QCOMPARE(ToQString(text.Token(u"b")), u"a"_s);
    QCOMPARE(RaisedErrorNumber([&] { text.Mid(0); }), ErrorNumber::InvalidArgument);
    QCOMPARE(RaisedErrorNumber([&] { text.Mid(0, 0, u"x"); }), ErrorNumber::InvalidArgument);
    QCOMPARE(RaisedErrorNumber([&] { text.Length(-1); }), ErrorNumber::InvalidArgument);
    QCOMPARE(RaisedErrorNumber([&] { text.ChunkSize(0); }), ErrorNumber::InvalidArgument);
    QCOMPARE(ToQString(text.Value()), u"abc"_s);
}

QTEST_APPLESS_MAIN(TestAppendString)
#include "tst_appendstring.moc"
