#include "TestDatabase.h"
#include "TestSupport.h"

#include "CipherSettings.h"
#include "DatabaseKey.h"
#include "Engine.h"
#include "SqlLiteral.h"
#include "StoreError.h"
#include "Text.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <array>
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
    const char *tables = "CREATE TABLE User (ID INTEGER PRIMARY KEY, UserName TEXT, Password TEXT);"
                         "CREATE TABLE Accounts (ID INTEGER PRIMARY KEY, UserID INTEGER, Account TEXT);"
                         "CREATE TABLE Parameters (Name TEXT, Value TEXT);";
    if (sqlite3_exec(handle, tables, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw StoreError(ErrorNumber::EngineError, FromUtf8(sqlite3_errmsg(handle)));
}

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT

private slots:
    void openRefusesWhatIsNotAnAccountDatabase_data();
    void openRefusesWhatIsNotAnAccountDatabase();
    void openDoesNotCreateAMissingFile();
    void keyDerivationKnownAnswers_data();
    void keyDerivationKnownAnswers();
    void readyMadeKeyIsTheEnginesOwn();
    void keysAreTriedInTurn_data();
    void keysAreTriedInTurn();
    void textRoundTripsThroughLiteralsExactly_data();
    void textRoundTripsThroughLiteralsExactly();
    void equalityCountsLetterCase();
    void rowsComeInTableOrder();
    void chrWAcceptsBothRangesOfCodes();
    void failingStatementRaises();
    void nullIsNotTheEmptyText();
    void writeWaitsForAnotherConnectionsLock();
};

void TestDatabase::openRefusesWhatIsNotAnAccountDatabase_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("connect");
    QTest::addColumn<QString>("dropTable");
    QTest::addColumn<bool>("utf8Text");
    QTest::newRow("zero bytes") << QByteArray("") << QString() << QString() << false;
    QTest::newRow("random bytes") << QByteArray(4096, '\x5a') << QString() << QString() << false;
    QTest::newRow("text file") << QByteArray("not a database\n") << QString() << QString() << false;
    QTest::newRow("another password") << QByteArray() << QStringLiteral(";pwd=other") << QString() << false;
    QTest::newRow("no password") << QByteArray() << QStringLiteral("") << QString() << false;
    QTest::newRow("Accounts table missing") << QByteArray() << QString() << QStringLiteral("Accounts") << false;
    QTest::newRow("User table missing") << QByteArray() << QString() << QStringLiteral("User") << false;
    // Saving into it would garble every text ("Bank" read back as "B").
    QTest::newRow("text stored as UTF-8") << QByteArray() << QString() << QString() << true;
}

void TestDatabase::openRefusesWhatIsNotAnAccountDatabase()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, connect);
    QFETCH(QString, dropTable);
    QFETCH(bool, utf8Text);
    TemporaryAccountDatabase database;
    if (!dropTable.isEmpty())
        database.Open()->Execute(u"DROP TABLE [" + ToU16(dropTable) + u"];");
    if (utf8Text)
        RemakeWithUtf8Text(database.path());
    if (!content.isNull()) {
        QFile file(QString::fromStdString(database.path().string()));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    const QByteArray before = FileBytes(database.path());
    const auto open = [&] {
        if (connect.isNull())
            OpenAccountDatabase(database.path());
        else
            OpenDatabase(database.path(), false, false, ToU16(connect));
    };
    QVERIFY(RaisedErrorNumber(open) != 0);
    QCOMPARE(FileBytes(database.path()), before);
}

void TestDatabase::openDoesNotCreateAMissingFile()
{
    TemporaryAccountDatabase database;
    const auto missing = database.path().parent_path() / "missing.mdb";
    QCOMPARE(RaisedErrorNumber([&] { OpenAccountDatabase(missing); }), 3024);
    QVERIFY(!std::filesystem::exists(missing));
}

void TestDatabase::keyDerivationKnownAnswers_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("salt");
    QTest::addColumn<unsigned>("iterations");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("one round") << "password"_ba
                               << "salt"_ba << 1u << "0c60c80f961f0e71f3a9b524af6012062fe037a6"_ba;
    QTest::newRow("two rounds") << "password"_ba
                                << "salt"_ba << 2u << "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"_ba;
    QTest::newRow("two blocks, the second cut") << "passwordPASSWORDpassword"_ba
                                                << "saltSALTsaltSALTsaltSALTsaltSALTsalt"_ba << 4096u
                                                << "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"_ba;
    QTest::newRow("NULs, shorter than a block")
        << QByteArray("pass\0word", 9) << QByteArray("sa\0lt", 5) << 4096u << "56fa6aa75548099dcc37d7f03425e0c3"_ba;
    QTest::newRow("password longer than a block")
        << QByteArray(100, 'x') << "salt"_ba << 3u
        << "bf94cb1b26465c7332844a102eaf01faba310edb216986c95f48cd8649da9295"_ba;
}

void TestDatabase::keyDerivationKnownAnswers()
{
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, salt);
    QFETCH(unsigned, iterations);
    QFETCH(QByteArray, expected);
    QByteArray derived(expected.size() / 2, '\0');
    const auto *saltBytes = reinterpret_cast<const std::uint8_t *>(salt.constData());
    auto *derivedBytes = reinterpret_cast<std::uint8_t *>(derived.data());
    Pbkdf2HmacSha1(password.toStdString(), {saltBytes, static_cast<std::size_t>(salt.size())}, iterations,
                   {derivedBytes, static_cast<std::size_t>(derived.size())});
    QCOMPARE(derived.toHex(), expected);
}

// The ready-made key must be the one this engine derives under the file's settings, or every open would pay for a
// second derivation; and a derivation with no rounds, which would return the first one's hash, is refused.
void TestDatabase::readyMadeKeyIsTheEnginesOwn()
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
    QCOMPARE(RaisedErrorNumber([] { Pbkdf2HmacSha1("pw", std::array<std::uint8_t, 1>{}, 1, {}); }), 5);
}

void TestDatabase::keysAreTriedInTurn_data()
{
    QTest::addColumn<int>("fileBytes");
    QTest::addColumn<QList<int>>("raises");
    QTest::addColumn<QStringList>("tried");
    QTest::addColumn<int>("raised");
    const QString ready = QStringLiteral("ready-made");
    const QString password = QStringLiteral("password");
    QTest::newRow("ready-made key reads the file") << 1024 << QList<int>{0} << QStringList{ready} << 0;
    QTest::newRow("engine derives another way") << 1024 << QList<int>{3343, 0} << QStringList{ready, password} << 0;
    QTest::newRow("wrong password") << 1024 << QList<int>{3343, 3343} << QStringList{ready, password} << 3343;
    QTest::newRow("locked, not refused") << 1024 << QList<int>{3260} << QStringList{ready} << 3260;
    QTest::newRow("no salt to read") << 15 << QList<int>{0} << QStringList{password} << 0;
}

void TestDatabase::keysAreTriedInTurn()
{
    QFETCH(int, fileBytes);
    QFETCH(QList<int>, raises);
    QFETCH(QStringList, tried);
    QFETCH(int, raised);
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("AccountInfo.mdb")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(fileBytes, '\x17'));
    file.close();
    QStringList keys;
    const auto attempt = [&](std::string_view key) {
        keys << (key == "pw"                                 ? QStringLiteral("password")
                 : key.starts_with("x'") && key.size() == 67 ? QStringLiteral("ready-made")
                                                             : QString::fromStdString(std::string(key)));
        if (const int error = raises.value(keys.size() - 1))
            throw StoreError(error, u"refused");
    };
    QCOMPARE(RaisedErrorNumber([&] { KeyDatabase(file.fileName().toStdString(), "pw", attempt); }), raised);
    QCOMPARE(keys, tried);
}

void TestDatabase::textRoundTripsThroughLiteralsExactly_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("NUL inside") << QString::fromUtf16(u"a\0b", 3);
    QTest::newRow("only NUL") << QString::fromUtf16(u"\0", 1);
    QTest::newRow("CR LF and tab") << QStringLiteral("line 1\r\nline 2\tend");
    QTest::newRow("apostrophes and brackets") << QStringLiteral("it's ''quoted'' [x] & \"y\"");
    QTest::newRow("from U+8000 up") << QString::fromUtf16(u"\u8000\uFFFD\uFFFF\u00E9");
    QTest::newRow("emoji") << QStringLiteral("key 🔑 lock 🔒");
    QTest::newRow("lone surrogates") << QString::fromUtf16(u"\xD800x\xDFFF", 3);
    QTest::newRow("leading byte-order marks") << ToQString(u"\uFEFF\uFFFEab");
    QTest::newRow("leading swapped mark") << ToQString(u"\uFFFEab");
    QString longText;
    for (int i = 0; i < 5000; ++i)
        longText += QChar(char16_t(i % 7 == 0 ? 10 : (i % 5 == 0 ? 0x20AC : 'a' + i % 26)));
    QTest::newRow("5000 characters") << longText;
}

void TestDatabase::textRoundTripsThroughLiteralsExactly()
{
    QFETCH(QString, text);
    TemporaryAccountDatabase file;
    const auto database = file.Open();
    const std::u16string literal = SqlLiteral(ToU16(text));
    database->Execute(u"INSERT INTO User ([UserName],[Password]) VALUES (" + literal + u"," + literal + u");");
    const auto found =
        database->OpenRecordset(u"SELECT * FROM User WHERE [UserName] = " + literal + u";", dbOpenSnapshot, dbReadOnly);
    QCOMPARE(found->RecordCount(), 1);
    QCOMPARE(ToQString(found->Fields(u"[UserName]").ToText()), text);
    QCOMPARE(ToQString(found->Fields(u"Password").ToText()), text);
}

void TestDatabase::equalityCountsLetterCase()
{
    TemporaryAccountDatabase file;
    const auto database = file.Open();
    database->Execute(u"INSERT INTO User ([UserName],[Password]) VALUES ('Alice','x');");
    const auto lookup = [&](const std::u16string &name) {
        return database
            ->OpenRecordset(u"SELECT * FROM User WHERE [UserName] = " + SqlLiteral(name) + u";", dbOpenSnapshot,
                            dbReadOnly)
            ->RecordCount();
    };
    QCOMPARE(lookup(u"Alice"), 1);
    QCOMPARE(lookup(u"alice"), 0);
    QCOMPARE(lookup(u"ALICE"), 0);
}

void TestDatabase::rowsComeInTableOrder()
{
    TemporaryAccountDatabase file;
    const auto database = file.Open();
    for (const char16_t *name : {u"zed", u"alice", u"Bob"})
        database->Execute(u"INSERT INTO User ([UserName],[Password]) VALUES ('" + std::u16string(name) + u"','');");
    auto users = database->OpenRecordset(u"SELECT [ID], [UserName] FROM User;", dbOpenSnapshot, dbReadOnly);
    QStringList names;
    for (users->MoveFirst(); !users->Eof(); users->MoveNext())
        names << ToQString(users->Fields(u"UserName").ToText());
    QCOMPARE(names, (QStringList{QStringLiteral("zed"), QStringLiteral("alice"), QStringLiteral("Bob")}));
}

void TestDatabase::chrWAcceptsBothRangesOfCodes()
{
    TemporaryAccountDatabase file;
    const auto database = file.Open();
    database->Execute(
        u"INSERT INTO [Parameters] ([Name], [Value]) VALUES ('k',ChrW(-3) & ChrW(65533) & ChrW(-32768));");
    const auto value = database->OpenRecordset(u"SELECT [Value] FROM [Parameters];", dbOpenSnapshot, dbReadOnly);
    QCOMPARE(ToQString(value->Fields(u"Value").ToText()), QString::fromUtf16(u"\uFFFD\uFFFD\u8000"));
    QVERIFY(RaisedErrorNumber([&] { database->Execute(u"INSERT INTO [Parameters] ([Name]) VALUES (ChrW(65536));"); }) !=
            0);
    QVERIFY(RaisedErrorNumber(
                [&] { database->Execute(u"INSERT INTO [Parameters] ([Name]) VALUES (ChrW(-32769));"); }) != 0);
}

void TestDatabase::failingStatementRaises()
{
    TemporaryAccountDatabase file;
    const auto database = file.Open();
    QVERIFY(RaisedErrorNumber([&] { database->Execute(u"INSERT INTO Missing ([Name]) VALUES ('x');"); }) != 0);
    QVERIFY(RaisedErrorNumber(
                [&] { database->Execute(u"DELETE * FROM [Parameters] WHERE [Name] = 'unterminated;"); }) != 0);
    QCOMPARE(RaisedErrorNumber([&] { database->Execute(u"DELETE * FROM [Parameters] WHERE [Name] = 'x';"); }), 0);
}

void TestDatabase::nullIsNotTheEmptyText()
{
    TemporaryAccountDatabase file;
    const auto database = file.Open();
    database->Execute(u"INSERT INTO Accounts ([UserID], [Account]) VALUES (1, '');");
    auto accounts = database->OpenRecordset(u"SELECT * FROM Accounts WHERE [UserID] = 1;", dbOpenSnapshot, dbReadOnly);
    QVERIFY(accounts->Fields(u"Password").IsNull());
    QVERIFY(!accounts->Fields(u"Account").IsNull());
    QCOMPARE(RaisedErrorNumber([&] { accounts->Fields(u"Password").ToText(); }), 94);
    QVERIFY(NullToEmpty(accounts->Fields(u"Password")) == Variant(u""));
    QVERIFY(NullToEmpty(Variant(0)) == Variant(0));
    QVERIFY(!(Variant::Null() == Variant(u"")));
    QCOMPARE(RaisedErrorNumber([&] { database->OpenRecordset(u"SELECT * FROM Accounts;", dbOpenDynaset); }), 3251);
}

void TestDatabase::writeWaitsForAnotherConnectionsLock()
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
    const std::int32_t error =
        RaisedErrorNumber([&] { database->Execute(u"INSERT INTO [Parameters] ([Name], [Value]) VALUES ('b','2');"); });
    holder.join();
    QCOMPARE(error, 0);
    QCOMPARE(database->OpenRecordset(u"SELECT * FROM [Parameters];", dbOpenSnapshot, dbReadOnly)->RecordCount(), 2);
}

QTEST_APPLESS_MAIN(TestDatabase)
#include "tst_database.moc"
