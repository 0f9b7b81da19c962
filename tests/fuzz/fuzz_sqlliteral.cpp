// Any text put into a statement through SqlLiteral is stored and read back unchanged and found by
// "="; no statement text, however odd, crashes the translation into the engine's dialect.

#include "AccountDatabase.h"
#include "SqlDialect.h"
#include "SqlLiteral.h"
#include "StoreError.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct Fixture
{
    std::filesystem::path folder;
    std::shared_ptr<Database> database;

    Fixture()
    {
        char name[] = "/tmp/tarnwick-fuzz-XXXXXX";
        folder = ::mkdtemp(name);
        CreateAccountDatabase(folder / "AccountInfo.mdb");
        database = OpenAccountDatabase(folder / "AccountInfo.mdb");
    }

    ~Fixture()
    {
        database.reset();
        std::filesystem::remove_all(folder);
    }
};

std::u16string TextOf(const std::uint8_t *data, std::size_t size)
{
    std::u16string text(size / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    return text;
}

void CheckRoundTrip(Database &database, const std::u16string &text)
{
    const std::u16string literal = SqlLiteral(text);
    database.Execute(u"INSERT INTO [Parameters] ([Name], [Value]) VALUES (" + literal + u",'x');");
    const auto found = database.OpenRecordset(u"SELECT [Name] FROM [Parameters] WHERE [Name] = " + literal + u";",
                                              dbOpenSnapshot, dbReadOnly);
    if (found->RecordCount() != 1 || found->Fields(u"Name").ToText() != text)
        std::abort();
    database.Execute(u"DELETE * FROM [Parameters];");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static Fixture fixture;
    const std::u16string text = TextOf(data, size);
    CheckRoundTrip(*fixture.database, text);
    try {
        TranslateStatement(text);
    } catch (const StoreError &) {
        // Refusing a malformed statement is the expected answer.
    }
    return 0;
}
