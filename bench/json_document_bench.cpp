// What one run of the share-link job costs in the JSON document: constructing it, loading
// an item-detail answer, and the four reads.
//
// Run with --benchmark_repetitions=10 --benchmark_report_aggregates_only=true for medians.
#include <benchmark/benchmark.h>

#include <string>

#include "json/json_document.h"
#include "text/conversion.h"

namespace tarvo {
namespace {

std::string UrlList(int variant) {
    std::string list = "[";
    for (int i = 0; i < 3; ++i) {
        if (i > 0) list += ",";
        list +=
            R"({"url":"https://v)" + std::to_string(i) +
            R"(.example.test/video/tos/cn/tos-cn-ve-0076/o)" + std::to_string(variant) +
            R"(/?a=1319\u0026br=2048\u0026bt=1024\u0026cd=0%7C0%7C0\u0026ch=0\u0026cr=0)"
            R"(\u0026cs=0\u0026dr=0\u0026ds=3\u0026er=\u0026l=2021072012345601)"
            R"(\u0026lr=\u0026mime_type=video_mp4\u0026qs=0\u0026rc=amRvbmk6ZmZ5NjMzNGkzM0A7O2k",)"
            R"("expires":1595250000,"priority":)" +
            std::to_string(i) + "}";
    }
    return list + "]";
}

std::string Comment(int i) {
    const std::string n = std::to_string(i);
    return R"({"comment_id":)" + n + R"(,"text":"这条评论说得很有道理，第)" + n +
           R"(条，哈哈哈哈。","like_count":)" + n +
           R"(,"create_time":1595246400,)"
           R"("user":{"id":)" +
           n + R"(,"name":"皮皮虾用户)" + n +
           R"(","avatar":{"width":160,"height":160,"url_list":)" + UrlList(i) +
           R"(},"is_following":false,"description":"简介：热爱生活"}})";
}

// About 64 KB of code page 936 text shaped like the item-detail answer.
Text ItemDetail() {
    std::string video = R"({"video_id":"v0200f","duration":15.2,"width":720,"height":1280,)"
                        R"("video_fallback":{"url_list":)" +
                        UrlList(0) + R"(},"video_download":{"url_list":)" + UrlList(1) +
                        R"(},"video_high":{"url_list":)" + UrlList(2) +
                        R"(},"cover_image":{"url_list":)" + UrlList(3) + "}}";
    std::string comments;
    for (int i = 0; comments.size() < 60000; ++i) {
        if (i > 0) comments += ",";
        comments += Comment(i);
    }
    const std::string utf8 =
        R"({"status_code":0,"message":"success","data":{"comment":{"user":{"name":"分享者"}},)"
        R"("item":{"item_id":6852330000000000000,"content":"今天天气真好，分享一个视频",)"
        R"("share":{"title":"这是一个很有意思的视频","url":"https://h5.example.test/item/1"},)"
        R"("video":)" +
        video + R"(,"comments":[)" + comments + R"(],"stats":{"like_count":1024}}}})";
    return Utf8ToGbk(utf8);
}

const Text kPaths[] = {
    "data.comment.user.name",
    "data.item.video['video_fallback']['url_list'][0].url",
    "data.item.video['video_fallback']['url_list'][1].url",
    "data.item.share.title",
};

void Construct(benchmark::State& state) {
    for (auto _ : state) {
        JsonDocument doc;
        benchmark::DoNotOptimize(doc.GetEngine());
    }
}
BENCHMARK(Construct);

void ParseItemDetail(benchmark::State& state) {
    const Text text = ItemDetail();
    JsonDocument doc;
    for (auto _ : state) {
        if (!doc.Parse(text)) state.SkipWithError("the item detail did not parse");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
    state.counters["text_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(ParseItemDetail);

void FourReads(benchmark::State& state) {
    JsonDocument doc;
    if (!doc.Parse(ItemDetail())) state.SkipWithError("the item detail did not parse");
    for (auto _ : state) {
        for (const Text& path : kPaths) {
            const Text value = doc.GetText(path);
            if (value.empty()) state.SkipWithError("a read came back empty");
            benchmark::DoNotOptimize(value.data());
        }
    }
}
BENCHMARK(FourReads);

}  // namespace
}  // namespace tarvo
