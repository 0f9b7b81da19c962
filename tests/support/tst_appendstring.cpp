#include "AppendString.h"
#include "TestSupport.h"

#include <QtTest>

using namespace Qt::Literals::StringLiterals;

class TestAppendString : public QObject
{
    Q_OBJECT

private slots:
    void storage();
    void lengthAndValue();
    void substrings();
    void search_data();
    void search();
    void token_data();
    void token();
    void tokenState();
    void invalidArguments();
};

namespace {

// Left reads past the value up to the storage's end, which makes the storage observable.
QString Storage(const AppendString &text)
{
    return ToQString(text.Left(1 << 30));
}

} // namespace

void TestAppendString::storage()
{
    AppendString text;
    QCOMPARE(text.ChunkSize(), 1024);
    QVERIFY(!text.EOS() && text.BOS());
    const QString added(1025, u'x');
    text.AddToString(ToU16(added));
    QCOMPARE(ToQString(text.Value()), added);
    QCOMPARE(Storage(text), added + QString(1023, u' '));

    text.ChunkSize(10);
    text.Purge();
    QCOMPARE(Storage(text), QString(10, u' '));
    text.Value(u"abc");
    QCOMPARE(Storage(text).size(), 10);
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

void TestAppendString::lengthAndValue()
{
    AppendString text;
    text.AddToString(u"abcdef");
    text.Length(3);
    QCOMPARE(ToQString(text.Value()), u"abc"_s);
    text.Length(6);
    QCOMPARE(ToQString(text.Value()), u"abcdef"_s);
    text.Value(u"ab");
    QCOMPARE(ToQString(text.Left(6)), u"ab    "_s);
    text.Length(5);
    QCOMPARE(ToQString(text.Value()), u"ab   "_s);
    text.Clear();
    text.Length(2);
    QCOMPARE(ToQString(text.Value()), u"ab"_s);
}

void TestAppendString::substrings()
{
    AppendString text;
    text.AddToString(u"abcd");
    QCOMPARE(ToQString(text.Mid(2)), u"bcd"_s);
    QCOMPARE(ToQString(text.Mid(5)), QString());
    QCOMPARE(ToQString(text.Mid(2, 2)), u"bc"_s);
    QCOMPARE(ToQString(text.Mid(3, 4)), u"cd  "_s);
    QCOMPARE(ToQString(text.Left(0)), QString());
    QCOMPARE(ToQString(text.Left(6)), u"abcd  "_s);
    QCOMPARE(ToQString(text.Right(0)), QString());
    QCOMPARE(ToQString(text.Right(10)), u"abcd"_s);

    text.Mid(2, 0, u"XYZW");
    QCOMPARE(ToQString(text.Left(5)), u"aXYZ "_s);
    text.Mid(2, 1, u"bc");
    QCOMPARE(ToQString(text.Value()), u"abYZ"_s);
    text.Mid(5, 0, u"!");
    QCOMPARE(ToQString(text.Left(5)), u"abYZ "_s);
    text.Mid(4, 2, u"!?");
    QCOMPARE(ToQString(text.Left(5)), u"abY!?"_s);
    QCOMPARE(text.Length(), 4);
}

void TestAppendString::search_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("find");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("compare");
    QTest::addColumn<int>("direction");
    QTest::addColumn<bool>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("forward finds first") << u"abcb"_s << u"b"_s << 0 << 0 << 0 << false << "2";
    QTest::newRow("forward from start") << u"abcb"_s << u"b"_s << 3 << 0 << 0 << false << "4";
    QTest::newRow("storage past the value not searched") << u"ab"_s << u" "_s << 0 << 0 << 0 << false << "0";
    QTest::newRow("backward finds last") << u"abcb"_s << u"b"_s << 0 << 0 << 1 << false << "4";
    QTest::newRow("backward within first start characters") << u"abcb"_s << u"b"_s << 3 << 0 << 1 << false << "2";
    QTest::newRow("backward match must end by start") << u"abcb"_s << u"cb"_s << 3 << 0 << 1 << false << "0";
    QTest::newRow("exact compare keeps case") << u"aBc"_s << u"b"_s << 0 << 0 << 0 << false << "0";
    QTest::newRow("compare 1 ignores case beyond ASCII")
        << u"x\u00C4y\u00C4"_s << u"\u00E4"_s << 0 << 1 << 1 << false << "4";
    QTest::newRow("bytes: start and result are byte positions") << u"abcb"_s << u"b"_s << 4 << 0 << 0 << true << "7";
    QTest::newRow("bytes: bounded by byte length") << u"abc"_s << u"c"_s << 0 << 0 << 0 << true << "5";
    QTest::newRow("bytes: start past byte length") << u"abc"_s << u"a"_s << 7 << 0 << 0 << true << "0";
    QTest::newRow("bytes: compare 1 ignores ASCII case") << u"abc"_s << u"B"_s << 0 << 1 << 0 << true << "3";
    QTest::newRow("bytes: memory order across characters") << u"\u6100b"_s << u"\u6261"_s << 0 << 0 << 0 << true << "2";
}

void TestAppendString::search()
{
    QFETCH(QString, value);
    QFETCH(QString, find);
    QFETCH(int, start);
    QFETCH(int, compare);
    QFETCH(int, direction);
    QFETCH(bool, bytes);
    QFETCH(QString, expected);
    AppendString text;
    text.AddToString(ToU16(value));
    const auto found =
        bytes ? text.InStrB(ToU16(find), start, compare) : text.InStr(ToU16(find), start, compare, direction);
    QCOMPARE(ToQString(found), expected);
}

void TestAppendString::token_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("delimiters");
    QTest::addColumn<int>("direction");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("forward") << u"a,b,,c"_s << u","_s << 0 << QStringList{"a", "b", "", "c"};
    QTest::newRow("backward") << u"a,b,,c"_s << u","_s << 1 << QStringList{"c", "", "b", "a"};
    QTest::newRow("every character delimits") << u"a b;c"_s << u" ;"_s << 0 << QStringList{"a", "b", "c"};
    QTest::newRow("forward without delimiters") << u"abc"_s << u""_s << 0 << QStringList{"abc"};
    QTest::newRow("backward without delimiters") << u"abc"_s << u""_s << 1 << QStringList{"abc"};
    QTest::newRow("forward edge delimiters") << u",a,"_s << u","_s << 0 << QStringList{"", "a"};
    QTest::newRow("backward edge delimiters") << u",a,"_s << u","_s << 1 << QStringList{"", "a"};
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
    const auto atEnd = [&] { return direction == 0 ? text.EOS() : text.BOS(); };
    QStringList tokens;
    while (!atEnd() && tokens.size() <= expected.size()) {
        tokens << ToQString(text.Token());
    }
    QCOMPARE(tokens, expected);
    QCOMPARE(ToQString(text.Token()), QString());
}

void TestAppendString::tokenState()
{
    AppendString text;
    text.InitToken(u",");
    QCOMPARE(ToQString(text.Token(u";")), QString());
    QCOMPARE(ToQString(text.Delimeters()), u","_s);

    text.AddToString(u"a;b,c");
    QCOMPARE(ToQString(text.Token(u";")), u"a"_s);
    text.AddToString(u";d");
    QCOMPARE(ToQString(text.Token()), u"b,c"_s);
    QCOMPARE(ToQString(text.Token()), u"d"_s);

    text.InitToken(u",", 2);
    QCOMPARE(ToQString(text.Token()), QString());
}

void TestAppendString::invalidArguments()
{
    AppendString text;
    text.AddToString(u"abc");
    QCOMPARE(RaisedErrorNumber([&] { text.Mid(0); }), ErrorNumber::InvalidArgument);
    QCOMPARE(RaisedErrorNumber([&] { text.Mid(0, 0, u"x"); }), ErrorNumber::InvalidArgument);
    QCOMPARE(RaisedErrorNumber([&] { text.Token(); }), ErrorNumber::InvalidArgument);
    QCOMPARE(RaisedErrorNumber([&] { text.Length(-1); }), ErrorNumber::InvalidArgument);
    QCOMPARE(RaisedErrorNumber([&] { text.ChunkSize(0); }), ErrorNumber::InvalidArgument);
    QCOMPARE(ToQString(text.Value()), u"abc"_s);
}

QTEST_APPLESS_MAIN(TestAppendString)
#include "tst_appendstring.moc"
