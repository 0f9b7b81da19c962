#include "TestDatabase.h"
#include "TestSupport.h"

#include "AccountSession.h"
#include "Text.h"

#include <QTest>

namespace {

AccountFields Fields(const std::u16string &text)
{
    AccountFields fields;
    fields.fill(text);
    return fields;
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
};

QTEST_APPLESS_MAIN(TestSession)
#include "tst_session.moc"
