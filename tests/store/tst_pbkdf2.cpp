#include "Pbkdf2.h"

#include <QtTest>

using namespace Qt::Literals::StringLiterals;

// Known answers: RFC 6070's for HMAC-SHA-1, which keys every file, and RFC 7914's for HMAC-SHA-256.
class TestPbkdf2 : public QObject
{
    Q_OBJECT

private slots:
    void derivesTheKnownKeys_data()
    {
        QTest::addColumn<int>("hash");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("salt");
        QTest::addColumn<unsigned>("rounds");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("one round") << int(TarnwickSha1) << "password"_ba
                                   << "salt"_ba << 1u << "0c60c80f961f0e71f3a9b524af6012062fe037a6"_ba;
        // More than one block, the second cut short: both chains of the two-block derivation.
        QTest::newRow("two blocks") << int(TarnwickSha1) << "passwordPASSWORDpassword"_ba
                                    << "saltSALTsaltSALTsaltSALTsaltSALTsalt"_ba << 4096u
                                    << "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"_ba;
        QTest::newRow("NULs within") << int(TarnwickSha1) << QByteArray("pass\0word", 9) << QByteArray("sa\0lt", 5)
                                     << 4096u << "56fa6aa75548099dcc37d7f03425e0c3"_ba;
        // A password longer than the hash's block is hashed first (the key as Python's hashlib derives it).
        QTest::newRow("long password") << int(TarnwickSha1) << QByteArray(65, 'p') << "salt"_ba << 2u
                                       << "071de0b787c6f0e319d7546faa7e0207eff57ff6"_ba;
        QTest::newRow("SHA-256") << int(TarnwickSha256) << "passwd"_ba
                                 << "salt"_ba << 1u
                                 << "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
                                    "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783"_ba;
    }

    void derivesTheKnownKeys()
    {
        QFETCH(int, hash);
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, salt);
        QFETCH(unsigned, rounds);
        QFETCH(QByteArray, key);
        QByteArray derived(key.size() / 2, '\0');
        QVERIFY(TarnwickPbkdf2(static_cast<TarnwickHash>(hash), password.data(), password.size(), salt.data(),
                               salt.size(), rounds, reinterpret_cast<unsigned char *>(derived.data()), derived.size()));
        QCOMPARE(derived.toHex(), key);
    }

    void refusesWhatDerivesNothing()
    {
        unsigned char key[20];
        QVERIFY(!TarnwickPbkdf2(TarnwickSha1, "pw", 2, "salt", 4, 0, key, sizeof key));
        QVERIFY(!TarnwickPbkdf2(TarnwickSha1, "pw", 2, "salt", 4, 1, key, 0));
        QVERIFY(!TarnwickPbkdf2(static_cast<TarnwickHash>(7), "pw", 2, "salt", 4, 1, key, sizeof key));
    }
};

QTEST_APPLESS_MAIN(TestPbkdf2)
#include "tst_pbkdf2.moc"
