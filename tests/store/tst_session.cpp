#include "TestDatabase.h"
#include "TestSupport.h"

#include "AccountSession.h"
#include "Engine.h"
#include "QtText.h"
#include "StoreError.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

AccountFields Fields(const std::u16string &text)
{
    AccountFields fields;
    fields.fill(text);
    return fields;
}

// Whether a save can replace an account name over LongTextBytes that starts with U+FEFF or U+FFFE: an unmended
// engine from SQLite 3.43 on reads the old name without its first unit, finds no index entry for it and raises.
bool EngineReplacesLongMarkedNames()
{
#ifdef TARNWICK_BUILTIN_SQLCIPHER
    return true;
#else
    return sqlite3_libversion_number() < 3043000;
#endif
}

} // namespace

// The logon state and the accounts of one run, over a fresh file, without any window.
class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void theAccountSetKeepsToItsRows()
    {
        FreshSession fresh;
        Sql(*fresh.database,
            u"INSERT INTO Accounts (UserID, Account) VALUES (1, 'mail'), (2, 'not mine'), (1, 'bank');");
        AccountSet accounts(fresh.database, 1);
        const std::vector<AccountListing> listed = accounts.List();
        QCOMPARE(listed.size(), std::size_t(2));
        QCOMPARE(listed[0].name, u"mail");
        QCOMPARE(listed[1].name, u"bank");
        QVERIFY(!accounts.Read(2)); // another user's
        QVERIFY(!accounts.Delete(2));
        QVERIFY(!accounts.Write(2, Fields(u"x")));

        // IDs are never given twice, also after a delete and across connections.
        const std::int32_t added = accounts.Add(u"new");
        QVERIFY(added > 3);
        QVERIFY(accounts.Delete(added));
        const std::int32_t again = AccountSet(fresh.file.Open(), 1).Add(u"elsewhere");
        QVERIFY(again > added && accounts.Add(u"newer") > again);
        QVERIFY(!accounts.Read(again)); // added by another program after the set was opened
    }

    // Every engine the program builds on stores and reads a text unit for unit: as the user's name and password
    // through a registration and a later logon, and in every field of an account, each read back by a new run.
    void textsRoundTripUnitForUnit_data()
    {
        QTest::addColumn<QString>("text");
        const auto longText = [](char16_t first) { return QChar(first) + QString(3000, u'w'); };
        QTest::newRow("ASCII") << u"root"_s;
        QTest::newRow("accents and beyond the BMP") << u"G\u00f6r\u00e4n \U0001F511 \U00020BB7"_s;
        QTest::newRow("lone surrogates and controls") << (QString(QChar(0xDC00)) + u"a\u0001\t"_s + QChar(0xD800));
        QTest::newRow("byte-order marks first") << u"\uFEFF\uFFFEx"_s;
        QTest::newRow("long") << longText(u'x');
        QTest::newRow("long, U+FEFF first") << longText(0xFEFF);
        QTest::newRow("long, U+FFFE first") << longText(0xFFFE);
    }

    void textsRoundTripUnitForUnit()
    {
        QFETCH(QString, text);
        const std::u16string unit = ToU16(text);
        TemporaryAccountDatabase file;
        std::int32_t id = 0;
        {
            AccountSession registering;
            registering.Open(file.Open());
            registering.CurrentUserName(unit);
            registering.RegisterUser(unit);
            QVERIFY(registering.FindUser());
            registering.CompleteLogon();
            id = registering.AddAccount(Fields(unit));
        }
        AccountSession later;
        later.Open(file.Open());
        later.CurrentUserName(unit);
        QVERIFY(later.FindUser());
        QVERIFY(AccountSession::PasswordMatches(*later.StoredPassword(unit), unit));
        later.CompleteLogon();
        QCOMPARE(later.ListAccounts().at(0).name, unit);
        QCOMPARE(*later.ShowAccount(id), Fields(unit));
        // Kept unsaved in a file of the user's and read back, for this user and database alone.
        const std::optional<UnsavedEdit> kept = ParseUnsavedEdit(Serialize(later.Unsaved(id, Fields(unit))));
        QCOMPARE(later.Recovered(*kept), Fields(unit));
        UnsavedEdit anothers = *kept;
        anothers.userID += 1;
        QVERIFY(!later.Recovered(anothers));
        const bool longMarked = unit.size() * 2 > LongTextBytes && (unit[0] == 0xFEFF || unit[0] == 0xFFFE);
        if (longMarked && !EngineReplacesLongMarkedNames()) {
            QVERIFY_THROWS_EXCEPTION(StoreError, later.SaveAccount(id, Fields(unit + u'.')));
            QCOMPARE(*later.ShowAccount(id), Fields(unit));
            return;
        }
        QVERIFY(later.SaveAccount(id, Fields(unit + u'.')));
        QCOMPARE(*later.ShowAccount(id), Fields(unit + u'.'));
    }
};

QTEST_APPLESS_MAIN(TestSession)
#include "tst_session.moc"
