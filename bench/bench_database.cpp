// Opening the database (deriving its key and checking its schema), whose key derivation is most of the program's
// start-up, saving an account, and the account set of a user with 100,000 accounts: opening it, listing it and
// reading one account. Built once on each engine: bench_database on the SQLCipher compiled in, and
// bench_database_system on the system's.

#include "AccountDatabase.h"
#include "AccountSet.h"
#include "CipherSettings.h"
#include "Pbkdf2.h"
#include "Text.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <array>
#include <filesystem>
#include <unistd.h>

namespace {

constexpr int AccountCount = 100000;

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
    AccountSet accounts(database, 1);
    for (int i = 1; i <= AccountCount; ++i) {
        const std::u16string n = ToDecimal(i);
        accounts.Add(AccountFields{u"Account " + n, u"user" + n, u"secret" + n, u"https://example.org/" + n,
                                   u"+1 555 " + n, u"A note about account " + n});
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

// The database's key as derived for opening it: ours, and OpenSSL's own PBKDF2, which the engine would use.
constexpr std::string_view KeyPassword = "wendrapolix";
constexpr std::array<std::uint8_t, 16> KeySalt = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
constexpr unsigned KeyRounds = FileCipher::KdfRounds;

void BM_DeriveKey(benchmark::State &state)
{
    std::array<std::uint8_t, 32> key;
    for (auto _ : state) {
        TarnwickPbkdf2(TarnwickSha1, KeyPassword.data(), KeyPassword.size(), KeySalt.data(), KeySalt.size(), KeyRounds,
                       key.data(), key.size());
        benchmark::DoNotOptimize(key);
    }
}
BENCHMARK(BM_DeriveKey)->Unit(benchmark::kMillisecond);

void BM_DeriveKeyWithOpenSsl(benchmark::State &state)
{
    std::array<std::uint8_t, 32> key;
    for (auto _ : state) {
        PKCS5_PBKDF2_HMAC_SHA1(KeyPassword.data(), static_cast<int>(KeyPassword.size()), KeySalt.data(),
                               static_cast<int>(KeySalt.size()), KeyRounds, static_cast<int>(key.size()), key.data());
        benchmark::DoNotOptimize(key);
    }
}
BENCHMARK(BM_DeriveKeyWithOpenSsl)->Unit(benchmark::kMillisecond);

void BM_OpenDatabaseFile(benchmark::State &state)
{
    const std::filesystem::path &path = Database();
    for (auto _ : state)
        benchmark::DoNotOptimize(OpenAccountDatabase(path));
}
BENCHMARK(BM_OpenDatabaseFile)->Unit(benchmark::kMillisecond);

void BM_OpenAccountSet(benchmark::State &state)
{
    const auto database = OpenAccountDatabase(Database());
    for (auto _ : state)
        benchmark::DoNotOptimize(AccountSet(database, 1));
}
BENCHMARK(BM_OpenAccountSet)->Unit(benchmark::kMillisecond);

// Writing all of an account's fields, as saving it does: a transaction of its own, with its journal.
void BM_SaveAccount(benchmark::State &state)
{
    const auto database = OpenAccountDatabase(Database());
    AccountSet accounts(database, 1);
    AccountFields fields;
    fields.fill(u"saved");
    std::int32_t id = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(accounts.Write(id, fields));
        id = id * 7919 % AccountCount + 1;
    }
}
BENCHMARK(BM_SaveAccount)->Unit(benchmark::kMillisecond);

// Reading all of an account's fields, as showing it does.
void BM_ReadAccount(benchmark::State &state)
{
    const auto database = OpenAccountDatabase(Database());
    const AccountSet accounts(database, 1);
    std::int32_t id = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(accounts.Read(id));
        id = id * 7919 % AccountCount + 1;
    }
}
BENCHMARK(BM_ReadAccount)->Unit(benchmark::kMicrosecond);

// The names and IDs for the list.
void BM_ListAccounts(benchmark::State &state)
{
    const auto database = OpenAccountDatabase(Database());
    const AccountSet accounts(database, 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(accounts.List());
}
BENCHMARK(BM_ListAccounts)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
