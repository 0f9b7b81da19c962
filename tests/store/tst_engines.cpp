// Files passed both ways between the SQLCipher 4 compiled into the program and Debian's SQLCipher 3.4.1, whose shell
// is given only the key, as a person using it would.

#include "AccountSet.h"
#include "TestDatabase.h"
#include "TestSupport.h"

#include "Parameters.h"

#include <QProcess>
#include <QTest>

namespace {

// Texts that survive only if every 16-bit unit is stored as it is.
const QStringList Texts = {QStringLiteral("Bank"),         QString(),
                           QString::fromUtf16(u"a\0b", 3), QString::fromUtf16(u"\xD800x\xDFFF", 3),
                           ToQString(u"\uFEFF\uFFFEab"),   QStringLiteral("key 🔑 \u8000\uFFFF\u00E9")};

QString Hex(const QString &text)
{
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2).toHex().toUpper());
}

// Runs `sql` in the other engine's shell on the file after the key, and returns the lines it printed for it.
QStringList OtherEngine(const std::filesystem::path &file, const QString &sql)
{
    const QString marker = QStringLiteral("-- rows --");
    const QString script = QStringLiteral("PRAGMA key = '%1';\nSELECT '%2';\n%3\n")
                               .arg(ToQString(AccountDatabaseConnect.substr(5)), marker, sql);
    QProcess shell;
    shell.start(QStringLiteral(OTHER_ENGINE_SHELL), {QString::fromStdString(file.string())});
    shell.write(script.toUtf8());
    shell.closeWriteChannel();
    if (!shell.waitForFinished(30000)) {
        shell.kill();
        shell.waitForFinished(5000);
        return {QStringLiteral("the shell did not finish")};
    }
    const QString error = QString::fromUtf8(shell.readAllStandardError());
    if (shell.exitCode() != 0 || !error.isEmpty())
        return {QStringLiteral("the shell failed: ") + error};
    const QStringList lines = QString::fromUtf8(shell.readAllStandardOutput()).split(u'\n');
    return lines.mid(lines.indexOf(marker) + 1, lines.size() - lines.indexOf(marker) - 2);
}

} // namespace

class TestEngines : public QObject
{
    Q_OBJECT

private slots:
    // A file made and written here is read by the other engine, unit by unit.
    void otherEngineReadsWhatTheStoreWrote()
    {
        TemporaryAccountDatabase file;
        {
            const auto database = file.Open();
            AccountSet accounts(database, 1);
            for (const QString &text : Texts)
                accounts.Add(ToU16(text));
            clsParameters parameters;
            parameters.Database(database);
            parameters.TableName(u"Parameters");
            parameters.Parameter(u"Bank", Variant(ToU16(Texts[3])));
        }
        QStringList expected;
        for (const QString &text : Texts)
            expected << Hex(text);
        expected << Hex(QStringLiteral("Bank")) + u'|' + Hex(Texts[3]);
        QCOMPARE(OtherEngine(file.path(), QStringLiteral("SELECT hex(Account) FROM Accounts ORDER BY ID;\n"
                                                         "SELECT hex(Name), hex(Value) FROM Parameters;")),
                 expected);
    }

    // A file made by tarnwick-newdb and written by the other engine is read here, unit by unit.
    void storeReadsWhatTheOtherEngineWrote()
    {
        const QTemporaryDir folder;
        const std::filesystem::path path = folder.filePath(QStringLiteral("AccountInfo.mdb")).toStdString();
        QProcess newdb;
        newdb.start(QStringLiteral(TARNWICK_NEWDB), {QString::fromStdString(path.string())});
        QVERIFY(newdb.waitForFinished(30000));
        QCOMPARE(newdb.exitCode(), 0);
        QString inserts;
        for (const QString &text : Texts)
            inserts += QStringLiteral("INSERT INTO Accounts (UserID, Account) VALUES (1, CAST(X'%1' AS TEXT));\n")
                           .arg(Hex(text));
        inserts += QStringLiteral("INSERT INTO Parameters (Name, Value) VALUES ('Bank', CAST(X'%1' AS TEXT));")
                       .arg(Hex(Texts[3]));
        QCOMPARE(OtherEngine(path, inserts), QStringList());

        const auto database = OpenAccountDatabase(path);
        QStringList read;
        for (const Variant &account : Sql(*database, u"SELECT Account FROM Accounts WHERE UserID = 1 ORDER BY ID;"))
            read << ToQString(account.ToText());
        QCOMPARE(read, Texts);
        clsParameters parameters;
        parameters.Database(database);
        parameters.TableName(u"Parameters");
        QCOMPARE(ToQString(parameters.Parameter(u"Bank")), Texts[3]);
    }
};

QTEST_APPLESS_MAIN(TestEngines)
#include "tst_engines.moc"
