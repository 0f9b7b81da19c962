#include "AppendString.h"
#include "TestSupport.h"

#include <QtTest>

#include <functional>

using namespace Qt::Literals::StringLiterals;

// One call on a builder holding a value, and what it gives: its result, or for a call that changes the value,
// the value after it; "invalid" when it raises StoreErrorKind::InvalidArgument, "error" for any other StoreError.
using Call = std::function<std::u16string(AppendString &)>;
Q_DECLARE_METATYPE(Call)

// Each token from InitToken until EOS, or BOS backward, each ended by '|', then what a further Token gives.
Call Tokens(std::u16string_view delimiters, int direction)
{
    return [=](AppendString &s) {
        s.InitToken(delimiters, direction);
        std::u16string tokens;
        for (int count = 0; count < 10 && !(direction == 1 ? s.BOS() : s.EOS()); ++count)
            tokens += s.Token() + u'|';
        return tokens + s.Token();
    };
}

class TestAppendString : public QObject
{
    Q_OBJECT

private slots:
    void calls_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<Call>("call");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const QString &value, const QString &expected, const Call &call) {
            QTest::newRow(name) << value << call << expected;
        };
        // Substrings: positions from 1, at and beyond both ends.
        row("Mid from the last", u"abcd"_s, u"d"_s, [](AppendString &s) { return s.Mid(4); });
        row("Mid past the end", u"abcd"_s, u""_s, [](AppendString &s) { return s.Mid(5); });
        row("Mid with a count", u"abcd"_s, u"bc"_s, [](AppendString &s) { return s.Mid(2, 2); });
        row("Mid before the first", u"abcd"_s, u"invalid"_s, [](AppendString &s) { return s.Mid(0); });
        row("Left some", u"abcd"_s, u"abc"_s, [](AppendString &s) { return s.Left(3); });
        row("Right some", u"abcd"_s, u"bcd"_s, [](AppendString &s) { return s.Right(3); });
        row("Right more than all", u"abc"_s, u"abc"_s, [](AppendString &s) { return s.Right(10); });
        // Mid as a target: the value keeps its length, and only as much is replaced as was given.
        row("Mid set to the end", u"abcd"_s, u"aXYZ"_s,
            [](AppendString &s) { return s.Mid(2, 0, u"XYZW"), s.Value(); });
        row("Mid set a count", u"abcd"_s, u"aXcd"_s, [](AppendString &s) { return s.Mid(2, 1, u"XY"), s.Value(); });
        row("Mid set past the end", u"abcd"_s, u"abcd"_s, [](AppendString &s) { return s.Mid(5, 0, u"X"), s.Value(); });
        row("Mid set before", u"abcd"_s, u"invalid"_s, [](AppendString &s) { return s.Mid(0, 0, u"X"), s.Value(); });
        // Shortening keeps the storage: lengthening again shows the text; a new value pads with spaces.
        row("Length back", u"abcdef"_s, u"abcdef"_s,
            [](AppendString &s) { return s.Length(3), s.Length(6), s.Value(); });
        row("Length padded", u"abcdef"_s, u"abc  "_s,
            [](AppendString &s) { return s.Value(u"abc"), s.Length(5), s.Value(); });

        // Searches give positions as text, "0" for none.
        row("InStr", u"abcb"_s, u"2"_s, [](AppendString &s) { return s.InStr(u"b"); });
        row("InStr none", u"abcb"_s, u"0"_s, [](AppendString &s) { return s.InStr(u"x"); });
        row("InStr from the last", u"abcb"_s, u"4"_s, [](AppendString &s) { return s.InStr(u"b", 4); });
        row("InStr past the end", u"abcb"_s, u"0"_s, [](AppendString &s) { return s.InStr(u"b", 5); });
        row("InStr exact case", u"abcb"_s, u"0"_s, [](AppendString &s) { return s.InStr(u"B"); });
        row("InStr any case", u"abcb"_s, u"2"_s, [](AppendString &s) { return s.InStr(u"B", 1, 1); });
        row("InStr any case beyond ASCII", u"xÄy"_s, u"2"_s, [](AppendString &s) { return s.InStr(u"ä", 1, 1); });
        row("InStr in nothing", u""_s, u"0"_s, [](AppendString &s) { return s.InStr(u"b"); });
        row("InStr backward", u"abcb"_s, u"4"_s, [](AppendString &s) { return s.InStr(u"b", 0, 0, 1); });
        row("InStr backward within", u"abcb"_s, u"2"_s, [](AppendString &s) { return s.InStr(u"b", 3, 0, 1); });
        row("InStr backward wholly within", u"abcb"_s, u"0"_s, [](AppendString &s) { return s.InStr(u"cb", 3, 0, 1); });
        row("InStr backward from past the end", u"abcb"_s, u"3"_s,
            [](AppendString &s) { return s.InStr(u"cb", 9, 0, 1); });
        // InStrB counts bytes, two for each character, low byte first.
        row("InStrB", u"ab"_s, u"3"_s, [](AppendString &s) { return s.InStrB(u"b"); });

        // The tokenizer needs InitToken before it reads forward; new delimiters given to Token replace the old.
        row("Token before InitToken", u"a,b"_s, u"invalid"_s, [](AppendString &s) { return s.Token(); });
        row("Token with new delimiters", u"a,b;c"_s, u"a,b"_s,
            [](AppendString &s) { return s.InitToken(u","), s.Token(u";"); });
        // Each character of the delimiters ends a token; the tokens run until EOS, or BOS backward.
        row("Tokens", u"a,b,,c"_s, u"a|b||c|"_s, Tokens(u",", 0));
        row("Tokens backward", u"a,b,,c"_s, u"c||b|a|"_s, Tokens(u",", 1));
        row("Tokens, every character delimits", u"a b;c"_s, u"a|b|c|"_s, Tokens(u" ;", 0));
        row("Tokens, both ends", u",a,"_s, u"|a|"_s, Tokens(u",", 0));
        row("Tokens, both ends, backward", u",a,"_s, u"|a|"_s, Tokens(u",", 1));
        row("Tokens, a delimiter alone", u","_s, u"|"_s, Tokens(u",", 0));
        row("Tokens, no delimiters", u"abc"_s, u"abc|"_s, Tokens(u"", 0));
        row("Tokens of nothing", u""_s, u""_s, Tokens(u",", 0));
    }

    void calls()
    {
        QFETCH(QString, value);
        QFETCH(Call, call);
        QFETCH(QString, expected);
        AppendString text;
        text.AddToString(ToU16(value));
        std::u16string result;
        if (const std::optional<StoreErrorKind> error = RaisedError([&] { result = call(text); }))
            result = error == StoreErrorKind::InvalidArgument ? u"invalid" : u"error";
        QCOMPARE(ToQString(result), expected);
    }
};

QTEST_APPLESS_MAIN(TestAppendString)
#include "tst_appendstring.moc"
