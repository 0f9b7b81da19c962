#include "TestDatabase.h"
#include "TestSupport.h"
#include "Unhardened.h"

#include "Engine.h"
#include "StoreError.h"
#include "Text.h"

#include <QFile>
#include <QTest>

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
    RunUnhardened(OpenUnhardened(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE),
                  "CREATE TABLE User (ID INTEGER PRIMARY KEY, UserName TEXT, Password TEXT);"
                  "CREATE TABLE Accounts (ID INTEGER PRIMARY KEY, UserID INTEGER, Account TEXT);"
                  "CREATE TABLE Parameters (Name TEXT, Value TEXT);");
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
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("error");
        const int any = -1, foreign = 3049;
        QTest::newRow("text file") << "not a database\n"_ba << QString() << QString() << any;
        QTest::newRow("another password") << QByteArray() << u";pwd=other"_s << QString() << any;
        QTest::newRow("Accounts table missing") << QByteArray() << QString() << u"DROP TABLE Accounts;"_s << 3078;
        // Saving into it would garble every text ("Bank" read back as "B").
        QTest::newRow("text stored as UTF-8") << QByteArray() << QString() << u"utf8"_s << any;
        // Any member may add what the next member's program would run or parse.
        QTest::newRow("a trigger") << QByteArray() << QString()
                                   << u"CREATE TRIGGER t AFTER UPDATE ON Accounts BEGIN SELECT 1; END;"_s << foreign;
        QTest::newRow("a table of another name")
            << QByteArray() << QString() << u"CREATE TABLE Other (x);"_s << foreign;
        QTest::newRow("a virtual table")
            << QByteArray() << QString()
            << u"PRAGMA writable_schema = ON; INSERT INTO sqlite_master VALUES ('table', 'r', 'r', 0, "
               u"'CREATE VIRTUAL TABLE r USING rtree(id, a, b)');"_s
            << foreign;
    }

    void openRefusesWhatIsNotAnAccountDatabase()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, connect);
        QFETCH(QString, change);
        QFETCH(int, error);
        TemporaryAccountDatabase database;
        if (change == u"utf8")
            RemakeWithUtf8Text(database.path());
        else if (!change.isEmpty())
            QCOMPARE(RunUnhardened(OpenUnhardened(database.path()), change.toStdString()), SQLITE_OK);
        if (!content.isNull()) {
            QFile file(QString::fromStdString(database.path().string()));
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(content);
        }
        const QByteArray before = FileBytes(database.path());
        const std::int32_t raised = RaisedErrorNumber([&] {
            if (connect.isNull())
                OpenAccountDatabase(database.path());
            else
                OpenDatabase(database.path(), false, false, ToU16(connect));
        });
        QVERIFY(raised != 0 && (error == -1 || raised == error));
        QCOMPARE(FileBytes(database.path()), before);
    }
};

QTEST_APPLESS_MAIN(TestDatabase)
#include "tst_database.moc"
