#include "tests/support/sample_service.h"

#include <array>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace tarvo::test {
namespace {

constexpr std::string_view kHostPlaceholder = "{{host}}";
constexpr std::string_view kJson = "Content-Type: application/json; charset=utf-8";
constexpr std::string_view kHtml = "Content-Type: text/html; charset=utf-8";
constexpr std::size_t kVideoBytes = 512 * 1024;

enum class Kind { Usual, OneUrl, NullFallback, ZeroByte, Error, NotJson, CutVideo };

struct Variant {
    std::string_view code;
    std::string_view itemId;
    Kind kind;
    bool withCell = true;
    bool upperHost = false;
};

constexpr std::array kVariants = {
    Variant{codes::kSample, sample::kItemId, Kind::Usual},
    Variant{codes::kNoCell, sample::kItemId, Kind::Usual, false},
    Variant{codes::kUpperHost, sample::kItemId, Kind::Usual, true, true},
    Variant{codes::kOneUrl, "7301234567890123457", Kind::OneUrl},
    Variant{codes::kNullFallback, "7301234567890123458", Kind::NullFallback},
    Variant{codes::kZeroByte, "7301234567890123459", Kind::ZeroByte},
    Variant{codes::kError, "7301234567890123460", Kind::Error},
    Variant{codes::kNotJson, "7301234567890123461", Kind::NotJson},
    Variant{codes::kCutVideo, "7301234567890123462", Kind::CutVideo},
};

std::string ReadFixture(std::string_view name) {
    const std::string path = std::string(TARVO_FIXTURE_DIR) + "/" + std::string(name);
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read fixture " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Fixtures {
    std::string item = ReadFixture("item_detail.json");
    std::string itemOneUrl = ReadFixture("item_detail_one_url.json");
    std::string itemNullFallback = ReadFixture("item_detail_null_fallback.json");
    std::string cell = ReadFixture("cell_detail.json");
    std::string error = ReadFixture("error_invalid_param.json");
};

const Fixtures& LoadedFixtures() {
    static const Fixtures fixtures;
    return fixtures;
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
    }
    return text;
}

// The value of `name` in the query of `target`, or none.
std::optional<std::string> QueryValue(std::string_view target, std::string_view name) {
    const size_t question = target.find('?');
    if (question == std::string_view::npos) return std::nullopt;
    std::string_view query = target.substr(question + 1);
    while (!query.empty()) {
        const size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        if (pair.substr(0, pair.find('=')) == name) {
            const size_t eq = pair.find('=');
            return std::string(eq == std::string_view::npos ? "" : pair.substr(eq + 1));
        }
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return std::nullopt;
}

const Variant* ByCode(std::string_view code) {
    for (const Variant& v : kVariants) {
        if (v.code == code) return &v;
    }
    return nullptr;
}

const Variant* ByItemId(std::string_view id) {
    for (const Variant& v : kVariants) {
        if (v.itemId == id) return &v;
    }
    return nullptr;
}

Response Json(std::string body) {
    return Response{.headerLines = {std::string(kJson)}, .body = std::move(body)};
}

Response NotFound() {
    return Response{.status = 404,
                    .headerLines = {std::string(kHtml)},
                    .body = "<html><body><h1>404 Not Found</h1></body></html>"};
}

// The redirect that a share link answers with: the work's page, with the comment's id in
// its query as the service writes it.
Response Redirect(const Variant& v, const std::string& host) {
    std::string location = "https://" + (v.upperHost ? Upper(host) : host) + "/item/" +
                           std::string(v.itemId) +
                           "?app_id=1319&app=super&timestamp=1765432100&carrier_region=cn"
                           "&region=cn&language=zh&";
    if (v.withCell) location += "cell_id=" + std::string(sample::kCellId) + "&cell_type=8&";
    location += "utm_source=copy_link&utm_campaign=client_share&utm_medium=android&share_app=super";
    return Response{.status = 302,
                    .headerLines = {"Server: Tengine", std::string(kHtml), "Location: " + location,
                                    "Cache-Control: no-cache",
                                    "X-Tt-Logid: 20251211093000010151203177A1B2C3D4"},
                    .body = "<a href=\"" + location + "\">Found</a>.\n"};
}

Response ItemDetail(const Variant* v, const std::string& host) {
    const Fixtures& f = LoadedFixtures();
    if (v == nullptr) return Json(f.error);
    auto withHost = [&](const std::string& text) {
        return ReplaceAll(text, kHostPlaceholder, host);
    };
    switch (v->kind) {
        case Kind::Usual:
            return Json(withHost(f.item));
        case Kind::OneUrl:
            return Json(withHost(f.itemOneUrl));
        case Kind::NullFallback:
            return Json(withHost(f.itemNullFallback));
        case Kind::ZeroByte:
            return Json(withHost(f.item) + std::string(1, '\0') + "}} not json {{");
        case Kind::Error:
            return Json(f.error);
        case Kind::NotJson:
            return Response{.status = 502,
                            .headerLines = {std::string(kHtml)},
                            .body = "<html><body><h1>502 Bad Gateway</h1></body></html>"};
        case Kind::CutVideo:
            return Json(withHost(ReplaceAll(f.item, "/video/fallback", "/video/cutfallback")));
    }
    return NotFound();
}

Response VideoFile(std::string_view name) {
    Response response{.headerLines = {"Content-Type: video/mp4", "Accept-Ranges: bytes"},
                      .body = SampleService::Video()};
    if (name.rfind("cut", 0) == 0) response.resetAfter = 200 + kVideoBytes / 2;
    return response;
}

}  // namespace

SampleService::SampleService(SampleServiceOptions options)
    : options_(options),
      server_([this](const RecordedRequest& request) { return Answer(request); },
              TestServerOptions{.tls = true}) {
    LoadedFixtures();
}

std::string SampleService::ShareLink(std::string_view code) const {
    return server_.Url("/s/" + std::string(code) + "/");
}

std::string SampleService::DownloadUrl(int n) const {
    const std::string& item = LoadedFixtures().item;
    size_t at = item.find("\"video_fallback\"");
    for (int i = 0; i < n && at != std::string::npos; ++i) at = item.find("\"url\":\"", at + 1);
    if (at == std::string::npos) return {};
    const size_t start = at + 7;
    const std::string url = item.substr(start, item.find('"', start) - start);
    return ReplaceAll(ReplaceAll(url, "\\u0026", "&"), kHostPlaceholder, Host());
}

const std::string& SampleService::Video() {
    static const std::string video = [] {
        // An MP4 "ftyp" box, then bytes that do not repeat within the file.
        std::string bytes(
            "\0\0\0\x18"
            "ftypmp42\0\0\0\0mp42isom",
            24);
        std::uint32_t state = 20251211;
        while (bytes.size() < kVideoBytes) {
            state = state * 1664525u + 1013904223u;
            bytes.push_back(static_cast<char>(state >> 24));
        }
        return bytes;
    }();
    return video;
}

Response SampleService::Answer(const RecordedRequest& request) const {
    const std::string host = request.Header("Host").empty() ? Host() : request.Header("Host");
    const std::string_view target = request.target;
    const std::string_view path = target.substr(0, target.find('?'));
    Response response = NotFound();
    if (path.rfind("/s/", 0) == 0) {
        std::string_view code = path.substr(3);
        code = code.substr(0, code.find('/'));
        if (const Variant* v = ByCode(code)) response = Redirect(*v, host);
    } else if (path == "/bds/webapi/cell/detail/") {
        const bool known = QueryValue(target, "cell_id") == std::string(sample::kCellId);
        response = Json(known ? LoadedFixtures().cell : LoadedFixtures().error);
    } else if (path == "/bds/webapi/item/detail/") {
        response = ItemDetail(ByItemId(QueryValue(target, "item_id").value_or("")), host);
    } else if (path.rfind("/video/", 0) == 0) {
        response = VideoFile(path.substr(7));
    }
    response.delay = options_.delay;
    return response;
}

}  // namespace tarvo::test
