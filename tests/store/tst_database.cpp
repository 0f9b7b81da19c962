#include "TestDatabase.h"
#include "TestSupport.h"

#include "CipherSettings.h"
#include "DatabaseKey.h"
#include "Engine.h"
#include "StoreError.h"
#include "Text.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray FileBytes(const std::filesystem::path &path)
{
    QFile file(QString::fromStdString(path.string()));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The account tables, key and cipher settings, but text stored as UTF-8, as the engine's shell makes by default.
void RemakeWithUtf8Text(const std::filesystem::path &path)
{
    std::filesystem::remove(path);
    sqlite3 *handle = nullptr;
    sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Connection connection(handle);
    const std::string key = ToUtf8(AccountDatabaseConnect.substr(AccountDatabaseConnect.find(u'=') + 1));
    sqlite3_key(handle, key.data(), static_cast<int>(key.size()));
    ApplyCipherSettings(handle);
    sqlite3_exec(handle,
                 "CREATE TABLE User (ID INTEGER PRIMARY KEY, UserName TEXT, Password TEXT);"
                 "CREATE TABLE Accounts (ID INTEGER PRIMARY KEY, UserID INTEGER, Account TEXT);"
                 "CREATE TABLE Parameters (Name TEXT, Value TEXT);",
                 nullptr, nullptr, nullptr);
}

std::int32_t Rows(Database &database, const std::u16string &sql)
{
    return database.OpenRecordset(sql, dbOpenSnapshot, dbReadOnly)->RecordCount();
}

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT

private slots:
    void openRefusesWhatIsNotAnAccountDatabase_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("connect");
        QTest::addColumn<QString>("dropTable");
        QTest::newRow("zero bytes") << ""_ba << QString() << QString();
        QTest::newRow("text file") << "not a database\n"_ba << QString() << QString();
        QTest::newRow("another password") << QByteArray() << u";pwd=other"_s << QString();
        QTest::newRow("no password") << QByteArray() << u""_s << QString();
        QTest::newRow("Accounts table missing") << QByteArray() << QString() << u"Accounts"_s;
        // Saving into it would garble every text ("Bank" read back as "B").
        QTest::newRow("text stored as UTF-8") << QByteArray() << QString() << u"utf8"_s;
    }

    void openRefusesWhatIsNotAnAccountDatabase()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, connect);
        QFETCH(QString, dropTable);
        TemporaryAccountDatabase database;
        if (dropTable == u"utf8")
            RemakeWithUtf8Text(database.path());
        else if (!dropTable.isEmpty())
            database.Open()->Execute(u"DROP TABLE [" + ToU16(dropTable) + u"];");
        if (!content.isNull()) {
            QFile file(QString::fromStdString(database.path().string()));
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(content);
        }
        const QByteArray before = FileBytes(database.path());
        QVERIFY(RaisedErrorNumber([&] {
                    if (connect.isNull())
                        OpenAccountDatabase(database.path());
                    else
                        OpenDatabase(database.path(), false, false, ToU16(connect));
                }) != 0);
        QCOMPARE(FileBytes(database.path()), before);
        const auto missing = database.path().parent_path() / "missing.mdb";
        QCOMPARE(RaisedErrorNumber([&] { OpenAccountDatabase(missing); }), 3024);
        QVERIFY(!std::filesystem::exists(missing));
    }

    // The ready-made key must be the one this engine derives under the file's settings, or every open would pay for
    // a second derivation; and a derivation with no rounds, which would return the first one's hash, is refused.
    void readyMadeKeyIsTheEnginesOwn()
    {
        TemporaryAccountDatabase database;
        const std::optional<std::string> key = RawDatabaseKey(database.path(), "wendrapolix", FileCipher::KdfRounds);
        QVERIFY(key);
        sqlite3 *handle = nullptr;
        sqlite3_open_v2(database.path().c_str(), &handle, SQLITE_OPEN_READONLY, nullptr);
        const Connection connection(handle);
        QCOMPARE(sqlite3_key(handle, key->data(), static_cast<int>(key->size())), SQLITE_OK);
        QCOMPARE(ApplyCipherSettings(handle), SQLITE_OK);
        QCOMPARE(sqlite3_exec(handle, "SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr), SQLITE_OK);
        QCOMPARE(RaisedErrorNumber([&] { RawDatabaseKey(database.path(), "wendrapolix", 0); }), 5);
    }

    void keysAreTriedInTurn_data()
    {
        QTest::addColumn<int>("fileBytes");
        QTest::addColumn<QList<int>>("raises");
        QTest::addColumn<QStringList>("tried");
        QTest::addColumn<int>("raised");
        const QString ready = u"ready-made"_s, password = u"password"_s;
        QTest::newRow("ready-made key reads the file") << 1024 << QList<int>{0} << QStringList{ready} << 0;
        QTest::newRow("engine derives another way") << 1024 << QList<int>{3343, 0} << QStringList{ready, password} << 0;
        QTest::newRow("wrong password") << 1024 << QList<int>{3343, 3343} << QStringList{ready, password} << 3343;
        QTest::newRow("locked, not refused") << 1024 << QList<int>{3260} << QStringList{ready} << 3260;
        QTest::newRow("no salt to read") << 15 << QList<int>{0} << QStringList{password} << 0;
    }

    void keysAreTriedInTurn()
    {
        QFETCH(int, fileBytes);
        QFETCH(QList<int>, raises);
        QFETCH(QStringList, tried);
        QFETCH(int, raised);
        QTemporaryDir folder;
        QFile file(folder.filePath(u"AccountInfo.mdb"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(fileBytes, '\x17'));
        file.close();
        QStringList keys;
        const auto attempt = [&](std::string_view key) {
            keys << (key == "pw"                                 ? u"password"_s
                     : key.starts_with("x'") && key.size() == 67 ? u"ready-made"_s
                                                                 : u"?"_s);
            if (const int error = raises.value(keys.size() - 1))
                throw StoreError(error, u"refused");
        };
        QCOMPARE(RaisedErrorNumber([&] { KeyDatabase(file.fileName().toStdString(), "pw", attempt); }), raised);
        QCOMPARE(keys, tried);
    }

    void statementForms()
    {
        TemporaryAccountDatabase file;
        const auto database = file.Open();
        for (const char16_t *name : {u"zed", u"alice", u"Bob"})
            database->Execute(u"INSERT INTO User ([UserName],[Password]) VALUES ('" + std::u16string(name) + u"','');");
        auto users = database->OpenRecordset(u"SELECT [ID], [UserName] FROM User;");
        QStringList names;
        for (users->MoveFirst(); !users->Eof(); users->MoveNext())
            names << ToQString(users->Fields(u"UserName").ToText());
        QCOMPARE(names, (QStringList{u"zed"_s, u"alice"_s, u"Bob"_s}));

        database->Execute(u"INSERT INTO [Parameters] ([Name], [Value]) VALUES ('k',ChrW(-3) & ChrW(65533) & "
                          u"ChrW(-32768));");
        const auto value = database->OpenRecordset(u"SELECT [Value] FROM [Parameters];");
        QCOMPARE(ToQString(value->Fields(u"Value").ToText()), QString::fromUtf16(u"\uFFFD\uFFFD\u8000"));
        for (const char16_t *bad : {u"INSERT INTO [Parameters] ([Name]) VALUES (ChrW(65536));",
                                    u"INSERT INTO [Parameters] ([Name]) VALUES (ChrW(-32769));",
                                    u"INSERT INTO Missing ([Name]) VALUES ('x');",
                                    u"DELETE * FROM [Parameters] WHERE [Name] = 'unterminated;"})
            QVERIFY(RaisedErrorNumber([&] { database->Execute(bad); }) != 0);
        database->Execute(u"DELETE * FROM [Parameters] WHERE [Name] = 'k';");
        QCOMPARE(Rows(*database, u"SELECT * FROM [Parameters];"), 0);
        QCOMPARE(RaisedErrorNumber([&] { database->OpenRecordset(u"SELECT * FROM User;", dbOpenDynaset); }), 3251);
    }

    void nullIsNotTheEmptyText()
    {
        TemporaryAccountDatabase file;
        const auto database = file.Open();
        database->Execute(u"INSERT INTO Accounts ([UserID], [Account]) VALUES (1, '');");
        auto accounts = database->OpenRecordset(u"SELECT * FROM Accounts WHERE [UserID] = 1;");
        QVERIFY(accounts->Fields(u"Password").IsNull());
        QVERIFY(!accounts->Fields(u"Account").IsNull());
        QCOMPARE(RaisedErrorNumber([&] { accounts->Fields(u"Password").ToText(); }), 94);
        QVERIFY(NullToEmpty(accounts->Fields(u"Password")) == Variant(u""));
        QVERIFY(!(Variant::Null() == Variant(u"")));
    }

    void writeWaitsForAnotherConnectionsLock()
    {
        TemporaryAccountDatabase file;
        const auto database = file.Open();
        const auto other = file.Open();
        std::atomic<bool> locked = false;
        std::thread holder([&] {
            Transaction transaction(*other);
            other->Execute(u"INSERT INTO [Parameters] ([Name], [Value]) VALUES ('a','1');");
            locked = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            transaction.Commit();
        });
        while (!locked)
            std::this_thread::yield();
        const auto error =
            RaisedErrorNumber([&] { database->Execute(u"INSERT INTO [Parameters] ([Name]) VALUES ('b');"); });
        holder.join();
        QCOMPARE(error, 0);
        QCOMPARE(Rows(*database, u"SELECT * FROM [Parameters];"), 2);
    }
};

QTEST_APPLESS_MAIN(TestDatabase)
#include "tst_database.moc"
