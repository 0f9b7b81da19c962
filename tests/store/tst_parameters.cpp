#include "TestDatabase.h"
#include "TestSupport.h"

#include "Parameters.h"
#include "SqlLiteral.h"
#include "StoreError.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace std::string_literals;

class TestParameters : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        file_ = std::make_unique<TemporaryAccountDatabase>();
        database_ = file_->Open();
        params_.Database(database_);
        params_.TableName(u"Parameters");
    }

    void cleanup()
    {
        params_.Database(nullptr);
        database_.reset();
        file_.reset();
    }

    // One row per name, whatever the name holds; missing and Null values read as empty.
    void valuesAreReplacedAndDeleted()
    {
        database_->Execute(u"INSERT INTO [Parameters] ([Name], [Value]) VALUES ('k','first');");
        database_->Execute(u"INSERT INTO [Parameters] ([Name], [Value]) VALUES ('k','second');");
        database_->Execute(u"INSERT INTO [Parameters] ([Name]) VALUES ('null');");
        QCOMPARE(ToQString(params_.Parameter(u"k")), u"first"_s);
        QCOMPARE(ToQString(params_.Parameter(u"null")), QString());
        QCOMPARE(ToQString(params_.Parameter(u"never written")), QString());
        params_.Parameter(u"n", Variant(std::int32_t{-42}));
        QCOMPARE(ToQString(params_.Parameter(u"n")), u"-42"_s);
        for (const std::u16string &name : {u"k"s, u"it's"s, u"a\r\n\0b\u9000\uFFFF"s}) {
            params_.Parameter(name, Variant(name + u" value"));
            QCOMPARE(params_.Parameter(name), name + u" value");
            QCOMPARE(database_->OpenRecordset(u"SELECT * FROM [Parameters] WHERE [Name] = " + SqlLiteral(name) + u";")
                         ->RecordCount(),
                     1);
            params_.Delete(name);
            QCOMPARE(ToQString(params_.Parameter(name)), QString());
        }
    }

    void failuresKeepTheOldValue()
    {
        params_.Parameter(u"k", Variant(u"old"));
        QVERIFY_THROWS_EXCEPTION(StoreError, params_.Parameter(u"k", Variant::Null()));
        database_->Execute(u"CREATE TRIGGER refuse BEFORE INSERT ON Parameters BEGIN SELECT RAISE(ABORT, 'no'); END;");
        QVERIFY_THROWS_EXCEPTION(StoreError, params_.Parameter(u"k", Variant(u"new")));
        QCOMPARE(ToQString(params_.Parameter(u"k")), u"old"_s);
        QVERIFY_THROWS_EXCEPTION(StoreError, params_.TableName(u"Para]meters"));
        QCOMPARE(ToQString(params_.TableName()), u"Parameters"_s);
    }

private:
    std::unique_ptr<TemporaryAccountDatabase> file_;
    std::shared_ptr<Database> database_;
    clsParameters params_;
};

QTEST_APPLESS_MAIN(TestParameters)
#include "tst_parameters.moc"
