#include "AppendString.h"
#include "Cipher.h"
#include "SqlLiteral.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t Short = 50;
constexpr std::size_t Long = 1 << 20;

// Account-like text: mostly ASCII with apostrophes, line breaks, a tab, accented letters, a euro
// sign and CJK, so that every path of the transforms is taken.
std::u16string MixedText(std::size_t length)
{
    constexpr std::u16string_view sample =
        u"O'Neil's p\u00E4ssw\u00F6rd\r\n\tfor example.org \u20AC12 \u6F22\u5B57 ok;";
    std::u16string text;
    text.reserve(length);
    while (text.size() < length) {
        text.append(sample.substr(0, length - text.size()));
    }
    return text;
}

void SetBytes(benchmark::State &state, std::size_t units)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * units * sizeof(char16_t)));
}

void BM_SqlLiteral(benchmark::State &state)
{
    const auto text = MixedText(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(SqlLiteral(text));
    }
    SetBytes(state, text.size());
}

void BM_HashPassword(benchmark::State &state)
{
    const auto password = MixedText(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(HashPassword(password));
    }
    SetBytes(state, password.size());
}

void BM_CryptString(benchmark::State &state)
{
    const auto data = MixedText(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(CryptString(u"alice42", data));
    }
    SetBytes(state, data.size());
}

void BM_AppendOneCharacterAtATime(benchmark::State &state)
{
    const auto text = MixedText(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        AppendString builder;
        for (std::size_t i = 0; i < text.size(); ++i) {
            builder.AddToString(std::u16string_view(text).substr(i, 1));
        }
        benchmark::DoNotOptimize(builder.Length());
    }
    SetBytes(state, text.size());
}

} // namespace

BENCHMARK(BM_SqlLiteral)->Arg(Short)->Arg(Long)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HashPassword)->Arg(Short)->Arg(Long)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CryptString)->Arg(Short)->Arg(Long)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AppendOneCharacterAtATime)->Arg(Long)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
