// The account set of a user with 100,000 accounts: opening it and finding one account by its ID.

#include "AccountDatabase.h"
#include "Text.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

namespace {

constexpr int AccountCount = 100000;
constexpr std::u16string_view AccountsOfUserOne = u"SELECT * FROM Accounts WHERE [UserID] = 1;";

// A folder of its own for the benchmark's database, removed at exit.
struct BenchFolder
{
    BenchFolder() { std::filesystem::create_directories(path); }
    ~BenchFolder() { std::filesystem::remove_all(path); }
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("tarnwick-bench-" + std::to_string(::getpid()));
};

std::filesystem::path MakeDatabase(const std::filesystem::path &folder)
{
    const auto path = folder / "AccountInfo.mdb";
    CreateAccountDatabase(path);
    const auto database = OpenAccountDatabase(path);
    Transaction transaction(*database);
    for (int i = 1; i <= AccountCount; ++i) {
        const std::u16string n = ToDecimal(i);
        database->Execute(u"INSERT INTO Accounts ([UserID],[Account],[UserName],[Password],[URL],[Phone],[Comment]) "
                          u"VALUES (1,'Account " +
                          n + u"','user" + n + u"','secret" + n + u"','https://example.org/" + n + u"','+1 555 " + n +
                          u"','A note about account " + n + u"');");
    }
    transaction.Commit();
    return path;
}

const std::filesystem::path &Database()
{
    static const BenchFolder folder;
    static const std::filesystem::path path = MakeDatabase(folder.path);
    return path;
}

void BM_OpenAccountSet(benchmark::State &state)
{
    const auto database = OpenAccountDatabase(Database());
    for (auto _ : state) {
        auto accounts = database->OpenRecordset(AccountsOfUserOne);
        benchmark::DoNotOptimize(accounts->RecordCount());
    }
}
BENCHMARK(BM_OpenAccountSet)->Unit(benchmark::kMillisecond);

void BM_FindFirstById(benchmark::State &state)
{
    const auto database = OpenAccountDatabase(Database());
    auto accounts = database->OpenRecordset(AccountsOfUserOne);
    std::int64_t id = 1;
    for (auto _ : state) {
        accounts->FindFirst(u"[ID] = " + ToDecimal(id));
        benchmark::DoNotOptimize(accounts->NoMatch());
        id = id * 7919 % AccountCount + 1;
    }
}
BENCHMARK(BM_FindFirstById)->Unit(benchmark::kMicrosecond);

// Finding an account and reading all its columns, as showing it does.
void BM_FindAndReadAccount(benchmark::State &state)
{
    const auto database = OpenAccountDatabase(Database());
    auto accounts = database->OpenRecordset(AccountsOfUserOne);
    std::int64_t id = 1;
    for (auto _ : state) {
        accounts->FindFirst(u"[ID] = " + ToDecimal(id));
        for (const char16_t *column : {u"[Account]", u"[UserName]", u"[Password]", u"[URL]", u"[Phone]", u"[Comment]"})
            benchmark::DoNotOptimize(accounts->Fields(column));
        id = id * 7919 % AccountCount + 1;
    }
}
BENCHMARK(BM_FindAndReadAccount)->Unit(benchmark::kMicrosecond);

void BM_ReadAllNames(benchmark::State &state)
{
    const auto database = OpenAccountDatabase(Database());
    for (auto _ : state) {
        auto accounts = database->OpenRecordset(AccountsOfUserOne);
        accounts->MoveFirst();
        while (!accounts->Eof()) {
            benchmark::DoNotOptimize(accounts->Fields(u"Account"));
            benchmark::DoNotOptimize(accounts->Fields(u"ID"));
            accounts->MoveNext();
        }
    }
}
BENCHMARK(BM_ReadAllNames)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
