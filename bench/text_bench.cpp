// The text routines on the job's road: cutting the ids out of the redirect, the header and
// cookie texts of every request, and converting a detail answer.
#include <benchmark/benchmark.h>

#include "bench/bench_texts.h"
#include "text/conversion.h"
#include "text/markers.h"
#include "web/header_text.h"

namespace tarvo::bench {
namespace {

void TextBetweenMarkers(benchmark::State& state) {
    const Text& headers = RedirectHeaders();
    for (auto _ : state) {
        Text item = TextBetween(headers, "h5.pipix.com/item/", "?");
        Text cell = TextBetween(headers, "cell_id=", "&");
        if (item.empty() || cell.empty()) state.SkipWithError("an id was not found");
        benchmark::DoNotOptimize(item.data());
        benchmark::DoNotOptimize(cell.data());
    }
}
BENCHMARK(TextBetweenMarkers);

void NormalizeHeaders(benchmark::State& state) {
    const Text& headers = RequestHeaders();
    for (auto _ : state) {
        Text normal = NormalizeHeaderNames(headers);
        benchmark::DoNotOptimize(normal.data());
    }
}
BENCHMARK(NormalizeHeaders);

void MergeCookieTexts(benchmark::State& state) {
    for (auto _ : state) {
        Text sent = SentCookies();
        Text returned = ReturnedCookies();
        Text merged = MergeCookies(sent, returned);
        benchmark::DoNotOptimize(merged.data());
    }
}
BENCHMARK(MergeCookieTexts);

void Utf8ToGbk64K(benchmark::State& state) {
    const std::string& text = ChineseUtf8();
    for (auto _ : state) {
        Text converted = Utf8ToGbk(text);
        benchmark::DoNotOptimize(converted.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK(Utf8ToGbk64K);

}  // namespace
}  // namespace tarvo::bench
