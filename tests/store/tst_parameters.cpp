#include "TestDatabase.h"
#include "TestSupport.h"

#include "Parameters.h"
#include "StoreError.h"

#include <QTest>

namespace {

std::int32_t RowsOf(Database &database, const std::u16string &name)
{
    return database
        .OpenRecordset(u"SELECT * FROM [Parameters] WHERE [Name] = '" + name + u"';", dbOpenSnapshot, dbReadOnly)
        ->RecordCount();
}

} // namespace

class TestParameters : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void missingAndNullValuesReadAsEmpty();
    void writeReplacesAllRowsOfTheName();
    void namesWithQuotesAndControlCharacters_data();
    void namesWithQuotesAndControlCharacters();
    void numbersAreStoredAsText();
    void failedWriteKeepsTheOldValue();
    void tableNameWithClosingBracketIsRefused();

private:
    std::unique_ptr<TemporaryAccountDatabase> file_;
    std::shared_ptr<Database> database_;
    clsParameters params_;
};

void TestParameters::init()
{
    file_ = std::make_unique<TemporaryAccountDatabase>();
    database_ = file_->Open();
    params_.Database(database_);
    params_.TableName(u"Parameters");
}

void TestParameters::cleanup()
{
    params_.Database(nullptr);
    database_.reset();
    file_.reset();
}

void TestParameters::missingAndNullValuesReadAsEmpty()
{
    QCOMPARE(ToQString(params_.Parameter(u"never written")), QString());
    database_->Execute(u"INSERT INTO [Parameters] ([Name]) VALUES ('null');");
    QCOMPARE(ToQString(params_.Parameter(u"null")), QString());
    params_.Delete(u"never written");
}

void TestParameters::writeReplacesAllRowsOfTheName()
{
    database_->Execute(u"INSERT INTO [Parameters] ([Name], [Value]) VALUES ('k','first');");
    database_->Execute(u"INSERT INTO [Parameters] ([Name], [Value]) VALUES ('k','second');");
    QCOMPARE(ToQString(params_.Parameter(u"k")), QStringLiteral("first"));
    params_.Parameter(u"k", Variant(u"third"));
    QCOMPARE(RowsOf(*database_, u"k"), 1);
    QCOMPARE(ToQString(params_.Parameter(u"k")), QStringLiteral("third"));
    params_.Delete(u"k");
    QCOMPARE(RowsOf(*database_, u"k"), 0);
}

void TestParameters::namesWithQuotesAndControlCharacters_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("apostrophe") << QStringLiteral("it's");
    QTest::newRow("control characters") << QString::fromUtf16(u"a\r\n\0b", 5);
    QTest::newRow("beyond U+8000") << QString::fromUtf16(u"\u9000\uFFFF");
}

void TestParameters::namesWithQuotesAndControlCharacters()
{
    QFETCH(QString, name);
    const std::u16string key = name.toStdU16String();
    params_.Parameter(key, Variant(key + u" value"));
    QCOMPARE(ToQString(params_.Parameter(key)), name + QStringLiteral(" value"));
    params_.Delete(key);
    QCOMPARE(ToQString(params_.Parameter(key)), QString());
}

void TestParameters::numbersAreStoredAsText()
{
    params_.Parameter(u"n", Variant(std::int32_t{-42}));
    QCOMPARE(ToQString(params_.Parameter(u"n")), QStringLiteral("-42"));
}

void TestParameters::failedWriteKeepsTheOldValue()
{
    params_.Parameter(u"k", Variant(u"old"));
    QVERIFY_THROWS_EXCEPTION(StoreError, params_.Parameter(u"k", Variant::Null()));
    QCOMPARE(ToQString(params_.Parameter(u"k")), QStringLiteral("old"));

    database_->Execute(u"CREATE TRIGGER refuse BEFORE INSERT ON Parameters BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    QVERIFY_THROWS_EXCEPTION(StoreError, params_.Parameter(u"k", Variant(u"new")));
    QCOMPARE(ToQString(params_.Parameter(u"k")), QStringLiteral("old"));
}

void TestParameters::tableNameWithClosingBracketIsRefused()
{
    QVERIFY_THROWS_EXCEPTION(StoreError, params_.TableName(u"Para]meters"));
    QCOMPARE(ToQString(params_.TableName()), QStringLiteral("Parameters"));
}

QTEST_APPLESS_MAIN(TestParameters)
#include "tst_parameters.moc"
