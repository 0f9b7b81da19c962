#include "Engine.h"
#include "Recordsets.h"
#include "SqlDialect.h"
#include "StoreError.h"
#include "Text.h"

#include <algorithm>
#include <numeric>
#include <optional>
#include <unordered_set>

namespace {

[[noreturn]] void RaiseNoCurrentRecord()
{
    throw StoreError(ErrorNumber::NoCurrentRecord, u"No current record.");
}

[[noreturn]] void RaiseReadOnly()
{
    throw StoreError(ErrorNumber::ReadOnly, u"Cannot update. Database or object is read-only.");
}

[[noreturn]] void RaiseClosed()
{
    throw StoreError(ErrorNumber::ObjectClosed, u"Object invalid or no longer set.");
}

std::size_t ColumnIndex(const std::vector<std::u16string> &columns, std::u16string_view name)
{
    const std::u16string_view bare = StripBrackets(name);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (EqualsIgnoringAsciiCase(columns[i], bare))
            return i;
    }
    throw StoreError(ErrorNumber::ItemNotFound, u"Item not found in this collection: " + std::u16string(bare) + u".");
}

std::vector<std::u16string> ColumnNames(const Statement &statement)
{
    std::vector<std::u16string> names;
    for (int column = 0; column < statement.ColumnCount(); ++column)
        names.push_back(statement.ColumnName(column));
    return names;
}

// A read-only copy of the rows, taken when it is opened.
class SnapshotRecordset final : public Recordset
{
public:
    SnapshotRecordset(const std::shared_ptr<Connection> &connection, std::u16string_view sql)
    {
        Statement statement(connection, sql);
        columns_ = ColumnNames(statement);
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
        return rows_[position_][ColumnIndex(columns_, name)];
    }
    void Fields(std::u16string_view, const Variant &) override { RaiseReadOnly(); }
    void FindFirst(std::u16string_view) override
    {
        throw StoreError(ErrorNumber::NotSupported, u"Operation is not supported for this type of object.");
    }
    bool NoMatch() const override { return true; }
    void AddNew() override { RaiseReadOnly(); }
    void Edit() override { RaiseReadOnly(); }
    void Update() override { RaiseReadOnly(); }
    void Delete() override { RaiseReadOnly(); }
    std::int32_t AbsolutePosition() const override { return Eof() ? -1 : static_cast<std::int32_t>(position_); }
    void Close() override
    {
        rows_.clear();
        closed_ = true;
    }

private:
    const std::vector<std::vector<Variant>> &Open() const
    {
        if (closed_)
            RaiseClosed();
        return rows_;
    }

    std::vector<std::u16string> columns_;
    std::vector<std::vector<Variant>> rows_;
    std::size_t position_ = 0;
    bool closed_ = false;
};

// The n of "[Column] = n" when the criteria have exactly that form.
std::optional<std::int64_t> KeyCriteria(std::u16string_view criteria, std::u16string_view keyColumn)
{
    const std::size_t equals = criteria.find(u'=');
    if (keyColumn.empty() || equals == std::u16string_view::npos)
        return std::nullopt;
    auto trim = [](std::u16string_view s) {
        while (!s.empty() && s.front() == u' ')
            s.remove_prefix(1);
        while (!s.empty() && s.back() == u' ')
            s.remove_suffix(1);
        return s;
    };
    if (!EqualsIgnoringAsciiCase(StripBrackets(trim(criteria.substr(0, equals))), keyColumn))
        return std::nullopt;
    const std::u16string_view number = trim(criteria.substr(equals + 1));
    const std::size_t digitsFrom = !number.empty() && number.front() == u'-' ? 1 : 0;
    if (number.size() == digitsFrom || number.size() > 19)
        return std::nullopt;
    if (!std::all_of(number.begin() + digitsFrom, number.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    return Variant(std::u16string(number)).ToInteger();
}

// The rows of one table that met the statement when it was opened, held as their keys; a row's
// values are read when it becomes current. A walk from the first row to the last reads the rows
// in one pass instead of one lookup each.
class DynasetRecordset final : public Recordset
{
public:
    DynasetRecordset(std::shared_ptr<Connection> connection, const SelectParts &parts)
        : connection_(std::move(connection)), table_(parts.table), quotedTable_(QuoteIdentifier(parts.table)),
          fetch_(connection_, u"SELECT" + parts.columns + u"FROM " + quotedTable_ + u" WHERE rowid = :rowid;"),
          parts_(parts), scannable_(!parts.ordered)
    {
        columns_ = ColumnNames(fetch_);
        keyColumn_ = FindKeyColumn();
        keyIndex_ = KeyIndex();
        Statement keys(connection_, SelectInTableOrder(parts, u"rowid"));
        while (keys.Step())
            keys_.push_back(keys.Column(0).ToInteger());
        sorted_ = std::is_sorted(keys_.begin(), keys_.end());
    }

    std::int32_t RecordCount() const override
    {
        EnsureOpen();
        return static_cast<std::int32_t>(std::min<std::size_t>(keys_.size(), INT32_MAX));
    }

    void MoveFirst() override
    {
        EnsureOpen();
        if (keys_.empty())
            RaiseNoCurrentRecord();
        StopScan();
        MoveTo(0);
        walking_ = true;
    }

    void MoveNext() override
    {
        if (Eof())
            RaiseNoCurrentRecord();
        const bool walking = walking_;
        MoveTo(currentDeleted_ ? position_ : position_ + 1);
        walking_ = walking;
        if (Eof())
            StopScan();
    }

    bool Eof() const override
    {
        EnsureOpen();
        return position_ >= keys_.size();
    }

    Variant Fields(std::u16string_view name) const override
    {
        const std::size_t column = ColumnIndex(columns_, name);
        if (mode_ != Mode::None)
            return buffer_[column];
        const std::int64_t key = CurrentKey();
        if (column == keyIndex_)
            return Variant(key);
        if (!(cachedRow_ && cachedKey_ == key)) {
            if (std::optional<Variant> value = ScanValue(key, column))
                return *std::move(value);
        }
        return CurrentRow()[column];
    }

    void Fields(std::u16string_view name, const Variant &value) override
    {
        const std::size_t column = ColumnIndex(columns_, name);
        if (mode_ == Mode::None)
            throw StoreError(ErrorNumber::UpdateWithoutEdit, u"Update or CancelUpdate without AddNew or Edit.");
        if (EqualsIgnoringAsciiCase(columns_[column], keyColumn_))
            throw StoreError(ErrorNumber::FieldNotUpdatable, u"Field cannot be updated.");
        buffer_[column] = value;
        assigned_[column] = true;
    }

    void FindFirst(std::u16string_view criteria) override
    {
        EnsureOpen();
        StopScan();
        mode_ = Mode::None;
        const std::optional<std::size_t> found = FindPosition(criteria);
        noMatch_ = !found;
        if (found)
            MoveTo(*found);
    }

    bool NoMatch() const override { return noMatch_; }

    void AddNew() override
    {
        EnsureOpen();
        StopScan();
        newKey_ = ReserveKey();
        buffer_.assign(columns_.size(), Variant::Null());
        assigned_.assign(columns_.size(), false);
        if (!keyColumn_.empty())
            buffer_[ColumnIndex(columns_, keyColumn_)] = Variant(newKey_);
        mode_ = Mode::Adding;
    }

    void Edit() override
    {
        buffer_ = CurrentRow();
        StopScan();
        assigned_.assign(columns_.size(), false);
        mode_ = Mode::Editing;
    }

    void Update() override
    {
        EnsureOpen();
        if (mode_ == Mode::Adding)
            InsertBuffer();
        else if (mode_ == Mode::Editing)
            UpdateCurrent();
        else
            throw StoreError(ErrorNumber::UpdateWithoutEdit, u"Update or CancelUpdate without AddNew or Edit.");
        mode_ = Mode::None;
        cachedRow_.reset();
    }

    void Delete() override
    {
        const std::int64_t key = CurrentKey();
        StopScan();
        Statement remove(connection_, u"DELETE FROM " + quotedTable_ + u" WHERE rowid = ?1;");
        remove.Bind(1, Variant(key));
        remove.Run();
        keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(position_));
        currentDeleted_ = true;
        mode_ = Mode::None;
        cachedRow_.reset();
    }

    std::int32_t AbsolutePosition() const override
    {
        if (Eof() || currentDeleted_)
            return -1;
        return static_cast<std::int32_t>(position_);
    }

    void Close() override
    {
        StopScan();
        keys_.clear();
        cachedRow_.reset();
        closed_ = true;
    }

private:
    enum class Mode
    {
        None,
        Editing,
        Adding
    };

    void EnsureOpen() const
    {
        if (closed_)
            RaiseClosed();
    }

    // A row that becomes current is read afresh: another process may have changed it.
    void MoveTo(std::size_t position)
    {
        walking_ = false;
        cachedRow_.reset();
        position_ = position;
        currentDeleted_ = false;
        mode_ = Mode::None;
    }

    std::int64_t CurrentKey() const
    {
        if (Eof() || currentDeleted_)
            RaiseNoCurrentRecord();
        return keys_[position_];
    }

    const std::vector<Variant> &CurrentRow() const
    {
        const std::int64_t key = CurrentKey();
        if (cachedRow_ && cachedKey_ == key)
            return *cachedRow_;
        fetch_.Bind(":rowid", Variant(key));
        if (!fetch_.Step())
            throw StoreError(ErrorNumber::RecordDeleted, u"Record is deleted.");
        cachedRow_ = fetch_.Row();
        cachedKey_ = key;
        fetch_.Reset();
        return *cachedRow_;
    }

    // The column's value in the row with this key from the one-pass read of a walk begun with
    // MoveFirst; nothing when the pass cannot give it and the row must be looked up. The pass reads
    // only the first column asked for, so an index holding it can serve the pass alone.
    std::optional<Variant> ScanValue(std::int64_t key, std::size_t column) const
    {
        if (!scannable_)
            return std::nullopt;
        auto slot = static_cast<std::size_t>(std::find(scanColumns_.begin(), scanColumns_.end(), column) -
                                             scanColumns_.begin());
        if (!scan_ || slot == scanColumns_.size()) {
            if (!walking_ || position_ != 0)
                return std::nullopt;
            // A walk that wants a second column is likely to want them all: one more pass reads all.
            if (scanColumns_.empty()) {
                scanColumns_.push_back(column);
            } else {
                scanColumns_.resize(columns_.size());
                std::iota(scanColumns_.begin(), scanColumns_.end(), std::size_t{0});
            }
            slot = static_cast<std::size_t>(std::find(scanColumns_.begin(), scanColumns_.end(), column) -
                                            scanColumns_.begin());
            StartScan();
        }
        const int keySlot = static_cast<int>(scanColumns_.size());
        while (scanHasRow_ && scan_->Column(keySlot).ToInteger() < key)
            scanHasRow_ = scan_->Step();
        if (!scanHasRow_) {
            StopScan();
            return std::nullopt;
        }
        if (scan_->Column(keySlot).ToInteger() != key)
            return std::nullopt;
        return scan_->Column(static_cast<int>(slot));
    }

    void StartScan() const
    {
        std::u16string selection;
        for (const std::size_t column : scanColumns_)
            selection += QuoteIdentifier(columns_[column]) + u", ";
        scan_.reset();
        scan_.emplace(connection_, SelectInTableOrder(parts_, selection + u"rowid"));
        scanHasRow_ = scan_->Step();
    }

    // An unfinished pass holds a read lock that would keep other processes from writing.
    void StopScan() const
    {
        scan_.reset();
        scanColumns_.clear();
    }

    // The table's own integer key column, which is the engine's row number; empty when it has none.
    std::u16string FindKeyColumn()
    {
        Statement info(connection_, u"PRAGMA table_info(" + quotedTable_ + u");");
        std::u16string key;
        int keyColumns = 0;
        while (info.Step()) {
            if (info.Column(5).ToInteger() == 0)
                continue;
            ++keyColumns;
            if (EqualsIgnoringAsciiCase(info.Column(2).ToText(), u"INTEGER"))
                key = info.Column(1).ToText();
        }
        return keyColumns == 1 ? key : std::u16string();
    }

    // The key column's place among the columns, past the last when the set does not select it.
    std::size_t KeyIndex() const
    {
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (!keyColumn_.empty() && EqualsIgnoringAsciiCase(columns_[i], keyColumn_))
                return i;
        }
        return columns_.size();
    }

    std::optional<std::size_t> FindPosition(std::u16string_view criteria) const
    {
        if (const std::optional<std::int64_t> key = KeyCriteria(criteria, keyColumn_))
            return PositionOfKey(*key);
        Statement matching(connection_,
                           u"SELECT rowid FROM " + quotedTable_ + u" WHERE " + TranslateStatement(criteria) + u";");
        std::unordered_set<std::int64_t> matches;
        while (matching.Step())
            matches.insert(matching.Column(0).ToInteger());
        const auto found = std::find_if(keys_.begin(), keys_.end(), [&](std::int64_t k) { return matches.count(k); });
        if (found == keys_.end())
            return std::nullopt;
        return static_cast<std::size_t>(found - keys_.begin());
    }

    std::optional<std::size_t> PositionOfKey(std::int64_t key) const
    {
        const auto found =
            sorted_ ? std::lower_bound(keys_.begin(), keys_.end(), key) : std::find(keys_.begin(), keys_.end(), key);
        if (found == keys_.end() || *found != key)
            return std::nullopt;
        return static_cast<std::size_t>(found - keys_.begin());
    }

    // Takes the next key of the table's counter at once, so that it can be read before the row is
    // written and no other row, here or in another process, is ever given it. Inside a caller's
    // transaction the reservation is part of it.
    std::int64_t ReserveKey()
    {
        if (!sqlite3_get_autocommit(connection_->handle()))
            return NextKey();
        Statement(connection_, u"BEGIN IMMEDIATE;").Run();
        try {
            const std::int64_t key = NextKey();
            Statement(connection_, u"COMMIT;").Run();
            return key;
        } catch (...) {
            sqlite3_exec(connection_->handle(), "ROLLBACK;", nullptr, nullptr, nullptr);
            throw;
        }
    }

    std::int64_t NextKey()
    {
        Statement highest(connection_, u"SELECT max(rowid) FROM " + quotedTable_ + u";");
        highest.Step();
        std::int64_t key = NullToEmpty(highest.Column(0)).ToInteger();
        highest.Reset();
        if (!HasCounter())
            return key + 1;
        Statement counter(connection_, u"SELECT seq FROM sqlite_sequence WHERE name = ?1;");
        counter.Bind(1, Variant(table_));
        const bool counted = counter.Step();
        if (counted)
            key = std::max(key, counter.Column(0).ToInteger());
        counter.Reset();
        Statement store(connection_, counted ? u"UPDATE sqlite_sequence SET seq = ?2 WHERE name = ?1;"
                                             : u"INSERT INTO sqlite_sequence (name, seq) VALUES (?1, ?2);");
        store.Bind(1, Variant(table_));
        store.Bind(2, Variant(key + 1));
        store.Run();
        return key + 1;
    }

    bool HasCounter() const
    {
        Statement lookup(connection_, u"SELECT 1 FROM sqlite_master WHERE name = 'sqlite_sequence';");
        const bool found = lookup.Step();
        lookup.Reset();
        return found;
    }

    // The values go into the statement's text, so that every text is stored exactly.
    void InsertBuffer()
    {
        std::u16string names = u"rowid";
        std::u16string values = ToDecimal(newKey_);
        for (std::size_t column = 0; column < columns_.size(); ++column) {
            if (!assigned_[column])
                continue;
            names += u", " + QuoteIdentifier(columns_[column]);
            values += u", " + SqlValue(buffer_[column]);
        }
        Statement(connection_, u"INSERT INTO " + quotedTable_ + u" (" + names + u") VALUES (" + values + u");").Run();
        sorted_ = sorted_ && (keys_.empty() || keys_.back() < newKey_);
        keys_.push_back(newKey_);
    }

    void UpdateCurrent()
    {
        const std::int64_t key = CurrentKey();
        std::u16string assignments;
        for (std::size_t column = 0; column < columns_.size(); ++column) {
            if (!assigned_[column])
                continue;
            assignments += (assignments.empty() ? u"" : u", ") + QuoteIdentifier(columns_[column]) + u" = " +
                           SqlValue(buffer_[column]);
        }
        if (assignments.empty())
            return;
        Statement(connection_,
                  u"UPDATE " + quotedTable_ + u" SET " + assignments + u" WHERE rowid = " + ToDecimal(key) + u";")
            .Run();
        if (sqlite3_changes(connection_->handle()) == 0)
            throw StoreError(ErrorNumber::RecordDeleted, u"Record is deleted.");
    }

    std::shared_ptr<Connection> connection_;
    std::u16string table_;
    std::u16string quotedTable_;
    mutable Statement fetch_;
    SelectParts parts_;
    bool scannable_;
    mutable std::optional<Statement> scan_;
    mutable std::vector<std::size_t> scanColumns_;
    mutable bool scanHasRow_ = false;
    bool walking_ = false;
    std::vector<std::u16string> columns_;
    std::u16string keyColumn_;
    std::size_t keyIndex_ = 0;
    std::vector<std::int64_t> keys_;
    bool sorted_ = true;
    std::size_t position_ = 0;
    bool currentDeleted_ = false;
    bool noMatch_ = false;
    bool closed_ = false;
    mutable std::optional<std::vector<Variant>> cachedRow_;
    mutable std::int64_t cachedKey_ = 0;
    Mode mode_ = Mode::None;
    std::vector<Variant> buffer_;
    std::vector<bool> assigned_;
    std::int64_t newKey_ = 0;
};

} // namespace

std::unique_ptr<Recordset> OpenSnapshot(std::shared_ptr<Connection> connection, std::u16string_view sql)
{
    return std::make_unique<SnapshotRecordset>(connection, sql);
}

std::unique_ptr<Recordset> OpenDynaset(std::shared_ptr<Connection> connection, std::u16string_view sql)
{
    const std::optional<SelectParts> parts = SplitSelect(sql);
    if (!parts)
        throw StoreError(ErrorNumber::NotSupported, u"Operation is not supported for this type of object.");
    return std::make_unique<DynasetRecordset>(std::move(connection), *parts);
}
