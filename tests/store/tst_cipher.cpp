#include "Cipher.h"
#include "TestSupport.h"

#include <QtTest>

using namespace Qt::Literals::StringLiterals;

static QString Units(std::initializer_list<char16_t> units)
{
    return ToQString(std::u16string(units));
}

// Known answers: files written by earlier versions must still open.
class TestCipher : public QObject
{
    Q_OBJECT

private slots:
    void hashPassword_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << u""_s << u""_s;
        QTest::newRow("one unit") << u"a"_s << Units({34});
        QTest::newRow("two units wrap mod 256") << Units({255, 2}) << Units({1, 254});
        QTest::newRow("first unit enters results 1, n - 1 and n") << u"zbcde"_s << Units({197, 217, 10, 115, 9});
        QTest::newRow("high bytes kept") << Units({0x161, 0x162, 0x1263}) << Units({0x1AC, 0x1AA, 0x12AF});
    }

    void hashPassword()
    {
        QFETCH(QString, password);
        QFETCH(QString, expected);
        QCOMPARE(ToQString(HashPassword(ToU16(password))), expected);
    }

    // Checked both ways: enciphering gives the expected units, enciphering those gives the data back.
    void cryptString_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty data") << u"k"_s << u""_s << u""_s;
        QTest::newRow("high bytes of key ignored")
            << Units({0x161, 0x4462}) << Units({0, 0, 0}) << Units({36, 134, 231});
        QTest::newRow("units from 256 up") << u"Zo\u00EB12"_s << u"p\u00E4ssw\u00F6rd\u20AC\u6F22\u5B57"_s
                                           << Units({1, 4, 184, 143, 89, 126, 133, 134, 0x20BF, 0x6F67, 0x5BC8});
        QTest::newRow("key of surrogate and U+FFFF, data longer than key")
            << Units({0xDBFF, 0xFFFF}) << u"password"_s << Units({141, 157, 136, 137, 142, 151, 133, 146});
    }

    void cryptString()
    {
        QFETCH(QString, key);
        QFETCH(QString, data);
        QFETCH(QString, expected);
        QCOMPARE(ToQString(CryptString(ToU16(key), ToU16(data))), expected);
        QCOMPARE(ToQString(CryptString(ToU16(key), ToU16(expected))), data);
        QCOMPARE(RaisedError([] { CryptString(u"", u"x"); }), StoreErrorKind::InvalidArgument);
    }
};

QTEST_APPLESS_MAIN(TestCipher)
#include "tst_cipher.moc"
