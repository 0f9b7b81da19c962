#include "TestDatabase.h"
#include "TestSupport.h"
#include "Unhardened.h"

#include "Engine.h"
#include "StoreError.h"

#include <QFile>
#include <QTest>
#include <QtEndian>

#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace Qt::Literals::StringLiterals;

// What opening a file raises; nothing when it opens.
using Raised = std::optional<StoreErrorKind>;

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
    RunUnhardened(OpenUnhardened(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE),
                  "CREATE TABLE User (ID INTEGER PRIMARY KEY, UserName TEXT, Password TEXT);"
                  "CREATE TABLE Accounts (ID INTEGER PRIMARY KEY, UserID INTEGER, Account TEXT);"
                  "CREATE TABLE Parameters (Name TEXT, Value TEXT);");
}

// A hot journal that rolls nothing back and names `superJournal` as its super-journal, as another member could write
// it.
QByteArray JournalNaming(const QByteArray &superJournal)
{
    const QByteArray magic = QByteArray::fromHex("d9d505f920a163d7");
    const auto number = [](quint32 value) {
        QByteArray bytes(4, '\0');
        qToBigEndian(value, bytes.data());
        return bytes;
    };
    // No page records; 1 page at the start, 512-byte sectors, 1024-byte pages.
    QByteArray journal = magic + number(0) + number(0) + number(1) + number(512) + number(1024);
    journal.resize(512, '\0');
    quint32 sum = 0;
    for (const char byte : superJournal)
        sum += static_cast<unsigned char>(byte);
    // The super-journal record: the lock-byte page's number, the name, its length and sum, the magic.
    return journal + number(0x40000000 / 1024 + 1) + superJournal + number(superJournal.size()) + number(sum) + magic;
}

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT

private slots:
    void openRefusesWhatIsNotAnAccountDatabase_data()
    {
        QTest::addColumn<QString>("connect");
        QTest::addColumn<QString>("change");
        QTest::addColumn<Raised>("error");
        const Raised opens, unrecognized = StoreErrorKind::UnrecognizedFormat, foreign = StoreErrorKind::ForeignObjects;
        const auto changed = [](const char *name, const QString &change, Raised error) {
            QTest::newRow(name) << QString() << change << error;
        };
        QTest::newRow("another password") << u";pwd=other"_s << QString() << unrecognized;
        changed("Accounts table missing", u"DROP TABLE Accounts;"_s, StoreErrorKind::TableNotFound);
        // Saving into it would garble every text ("Bank" read back as "B").
        changed("text stored as UTF-8", u"utf8"_s, unrecognized);
        // Any member may add what the next member's program would run or parse.
        changed("a trigger", u"CREATE TRIGGER t AFTER UPDATE ON Accounts BEGIN SELECT 1; END;"_s, foreign);
        changed("a table of another name", u"CREATE TABLE Other (x);"_s, foreign);
        // Every save would build and keep up an index of 100 MB a row.
        changed("an index of another's", u"CREATE INDEX ix1 ON Accounts (length(hex(zeroblob(100000000 + UserID))));"_s,
                foreign);
        changed("an own index's name on another column",
                u"DROP INDEX UserUserName; CREATE INDEX UserUserName ON User (Password);"_s, foreign);
        // Files of the first versions are opened as ever.
        changed("the first versions' accounts index",
                u"DROP INDEX AccountsUserID; CREATE INDEX \"AccountsUserID\" ON \"Accounts\" (\"UserID\");"_s, opens);
        // A virtual table in the place of one of the program's, however its text is written.
        for (const char *created : {"CREATE VIRTUAL TABLE", "CREATE /**/ VIRTUAL TABLE"})
            changed(created,
                    u"DROP TABLE Parameters; PRAGMA writable_schema = ON; INSERT INTO sqlite_master VALUES ('table', "
                    u"'Parameters', 'Parameters', 0, '%1 Parameters USING rtree(id, a, b)');"_s.arg(
                        QString::fromLatin1(created)),
                    foreign);
    }

    void openRefusesWhatIsNotAnAccountDatabase()
    {
        QFETCH(QString, connect);
        QFETCH(QString, change);
        QFETCH(Raised, error);
        TemporaryAccountDatabase database;
        if (change == u"utf8")
            RemakeWithUtf8Text(database.path());
        else if (!change.isEmpty())
            QCOMPARE(RunUnhardened(OpenUnhardened(database.path()), change.toStdString()), SQLITE_OK);
        const QByteArray before = FileBytes(database.path());
        std::shared_ptr<Database> opened;
        const Raised raised = RaisedError([&] {
            opened = connect.isNull() ? OpenAccountDatabase(database.path())
                                      : OpenDatabase(database.path(), false, false, ToU16(connect));
        });
        QCOMPARE(raised, error);
        // A file the program made opens the quick way, with the page key derived here.
        QVERIFY(raised || opened->OpenedWithPageKey());
        QCOMPARE(FileBytes(database.path()), before);
    }

    // Anything planted at the journal's path is refused at once, and nothing it points at or names is touched: a
    // super-journal is neither read (a FIFO would block) nor deleted.
    void theEngineUsesOnlyTheDatabasesOwnRegularFiles_data()
    {
        QTest::addColumn<QString>("planted");
        for (const char *planted : {"fifo", "symbolic link", "hard link", "device", "super-journal", "super-fifo"})
            QTest::newRow(planted) << QString::fromLatin1(planted);
    }

    void theEngineUsesOnlyTheDatabasesOwnRegularFiles()
    {
        QFETCH(QString, planted);
        TemporaryAccountDatabase file;
        const std::filesystem::path journal = file.path().string() + "-journal";
        const std::filesystem::path victim = file.path().parent_path() / "victim";
        const std::filesystem::path fifo = file.path().parent_path() / "fifo";
        QFile victimFile(QString::fromStdString(victim.string()));
        QVERIFY(victimFile.open(QIODevice::WriteOnly) && victimFile.write("kept") == 4 &&
                mkfifo(fifo.c_str(), 0600) == 0);
        victimFile.close();
        std::filesystem::remove(journal);
        if (planted == u"fifo")
            std::filesystem::rename(fifo, journal);
        else if (planted == u"symbolic link")
            std::filesystem::create_symlink(victim, journal);
        else if (planted == u"hard link")
            std::filesystem::create_hard_link(victim, journal);
        else if (planted == u"device" && ::mknod(journal.c_str(), S_IFCHR | 0600, ::makedev(1, 3)) != 0)
            QSKIP("making a device takes root");
        if (planted.startsWith(u"super")) {
            QFile crafted(QString::fromStdString(journal.string()));
            QVERIFY(crafted.open(QIODevice::WriteOnly) &&
                    crafted.write(JournalNaming((planted == u"super-fifo" ? fifo : victim).c_str())) > 0);
            crafted.close();
            QCOMPARE(Sql(*file.Open(), u"SELECT count(*) FROM User;").front().ToLong(), 0);
            QVERIFY(std::filesystem::is_fifo(fifo));
        } else {
            QCOMPARE(RaisedError([&] { Sql(*file.Open(), u"INSERT INTO User (UserName) VALUES ('x');"); }),
                     StoreErrorKind::FileRefused);
        }
        QCOMPARE(FileBytes(victim), "kept"_ba);
    }
};

QTEST_APPLESS_MAIN(TestDatabase)
#include "tst_database.moc"
