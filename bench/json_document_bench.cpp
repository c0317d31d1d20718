// What one run of the share-link job costs in the JSON document: constructing it, loading
// an item-detail answer, and the four reads; beside them, the floor: the engine's own
// JSON.parse of the same text.
#include <benchmark/benchmark.h>

#include "bench/bench_texts.h"
#include "json/json_document.h"
#include "platform/script_control.h"
#include "text/primitives.h"

namespace tarvo::bench {
namespace {

const Text kPaths[] = {
    "data.comment.user.name",
    "data.item.video['video_fallback']['url_list'][0].url",
    "data.item.video['video_fallback']['url_list'][1].url",
    "data.item.share.title",
};

void ReadFour(benchmark::State& state, JsonDocument& doc) {
    for (const Text& path : kPaths) {
        const Text value = doc.GetText(path);
        if (value.empty()) state.SkipWithError("a read came back empty");
        benchmark::DoNotOptimize(value.data());
    }
}

void JsonDocumentConstruction(benchmark::State& state) {
    for (auto _ : state) {
        JsonDocument doc;
        benchmark::DoNotOptimize(doc.GetEngine());
    }
}
BENCHMARK(JsonDocumentConstruction)->Unit(benchmark::kMicrosecond);

void ParseItemDetail(benchmark::State& state) {
    const Text& text = ItemDetail();
    JsonDocument doc;
    for (auto _ : state) {
        if (!doc.Parse(text)) state.SkipWithError("the item detail did not parse");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
    state.counters["text_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(ParseItemDetail)->Unit(benchmark::kMicrosecond);

void FourReads(benchmark::State& state) {
    JsonDocument doc;
    if (!doc.Parse(ItemDetail())) state.SkipWithError("the item detail did not parse");
    for (auto _ : state) ReadFour(state, doc);
}
BENCHMARK(FourReads)->Unit(benchmark::kMicrosecond);

// The job's use of one answer: Parse, then the four reads.
void ParseAndFourReads(benchmark::State& state) {
    const Text& text = ItemDetail();
    JsonDocument doc;
    for (auto _ : state) {
        if (!doc.Parse(text)) state.SkipWithError("the item detail did not parse");
        ReadFour(state, doc);
    }
}
BENCHMARK(ParseAndFourReads)->Unit(benchmark::kMicrosecond);

// The content of a single-quoted script string that reads back to `text`.
Text QuotedForScript(const Text& text) {
    Text out = "'";
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = CharLength(text, i);
        const char c = text[i];
        if (length == 1 && (c == '\\' || c == '\'')) out += '\\';
        out.append(text, i, length);
        i += length;
    }
    return out + "'";
}

// The floor: the engine's JSON.parse of the same text, already held by the same engine.
void DuktapeJsonParse(benchmark::State& state) {
    JsonDocument doc;
    const auto engine = doc.GetEngine();
    if (!engine || !engine->Eval("var benchText = " + QuotedForScript(ItemDetail()))) {
        state.SkipWithError("the text did not reach the engine");
    }
    for (auto _ : state) {
        if (!engine->Eval("var benchValue = JSON.parse(benchText)")) {
            state.SkipWithError("JSON.parse failed");
        }
    }
}
BENCHMARK(DuktapeJsonParse)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tarvo::bench
