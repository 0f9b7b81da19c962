#include "Engine.h"
#include "Recordsets.h"
#include "SqlDialect.h"
#include "StoreError.h"
#include "Text.h"

namespace {

[[noreturn]] void RaiseNoCurrentRecord()
{
    throw StoreError(ErrorNumber::NoCurrentRecord, u"No current record.");
}

// A read-only copy of the rows, taken when it is opened.
class SnapshotRecordset final : public Recordset
{
public:
    SnapshotRecordset(const std::shared_ptr<Connection> &connection, std::u16string_view sql)
    {
        Statement statement(connection, sql);
        for (int column = 0; column < statement.ColumnCount(); ++column)
            columns_.push_back(statement.ColumnName(column));
        while (statement.Step())
            rows_.push_back(statement.Row());
    }

    std::int32_t RecordCount() const override { return static_cast<std::int32_t>(Open().size()); }

    void MoveFirst() override
    {
        if (Open().empty())
            RaiseNoCurrentRecord();
        position_ = 0;
    }

    void MoveNext() override
    {
        if (Eof())
            RaiseNoCurrentRecord();
        ++position_;
    }

    bool Eof() const override { return position_ >= Open().size(); }

    Variant Fields(std::u16string_view name) const override
    {
        if (Eof())
            RaiseNoCurrentRecord();
        return rows_[position_][ColumnIndex(name)];
    }

    void Close() override
    {
        rows_.clear();
        closed_ = true;
    }

private:
    const std::vector<std::vector<Variant>> &Open() const
    {
        if (closed_)
            throw StoreError(ErrorNumber::ObjectClosed, u"Object invalid or no longer set.");
        return rows_;
    }

    std::size_t ColumnIndex(std::u16string_view name) const
    {
        const std::u16string_view bare = StripBrackets(name);
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (EqualsIgnoringAsciiCase(columns_[i], bare))
                return i;
        }
        throw StoreError(ErrorNumber::ItemNotFound,
                         u"Item not found in this collection: " + std::u16string(bare) + u".");
    }

    std::vector<std::u16string> columns_;
    std::vector<std::vector<Variant>> rows_;
    std::size_t position_ = 0;
    bool closed_ = false;
};

} // namespace

std::unique_ptr<Recordset> OpenSnapshot(std::shared_ptr<Connection> connection, std::u16string_view sql)
{
    return std::make_unique<SnapshotRecordset>(connection, sql);
}
