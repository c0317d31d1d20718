#include "job/share_link_job.h"

#include "json/json_document.h"
#include "text/conversion.h"
#include "text/markers.h"
#include "web/web_access.h"
#include "web/web_access_object.h"

namespace tarvo {

const std::string_view kDefaultServiceHost = TARVO_SERVICE_HOST;

namespace {

constexpr std::string_view kItemMarker = "/item/";
constexpr std::string_view kItemEnd = "?";
constexpr std::string_view kCellMarker = "cell_id=";
constexpr std::string_view kCellEnd = "&";
constexpr std::string_view kCellDetailPath = "/bds/webapi/cell/detail/?cell_id=";
constexpr std::string_view kCellDetailQuery = "&cell_type=8&source=share";
constexpr std::string_view kItemDetailPath = "/bds/webapi/item/detail/?item_id=";
constexpr std::string_view kItemDetailQuery = "&source=share";

constexpr std::string_view kUserPath = "data.comment.user.name";
constexpr std::string_view kDownUrl1Path = "data.item.video['video_fallback']['url_list'][0].url";
constexpr std::string_view kDownUrl2Path = "data.item.video['video_fallback']['url_list'][1].url";
constexpr std::string_view kTitlePath = "data.item.share.title";

Text HttpsUrl(std::string_view host, std::string_view path, std::string_view id,
              std::string_view query) {
    Text url = "https://";
    url.append(host).append(path).append(id).append(query);
    return url;
}

// A detail answer as a text of the system: the body up to its first zero byte, read as
// UTF-8.
Text DetailText(std::string_view url) {
    return Utf8ToGbk(TextFromBytes(WebAccess(url, {.method = 0})));
}

}  // namespace

void ShareLinkJob(const Text& link, JobOutput& output, const ShareLinkJobOptions& options) {
    const Text& host = options.host;
    JsonDocument document;

    Text working;
    (void)WebAccessObject(link, {.returnedHeaders = &working, .noRedirect = true});

    Text itemId = TextBetween(working, host + Text(kItemMarker), kItemEnd);
    Text cellId = TextBetween(working, kCellMarker, kCellEnd);

    working = DetailText(HttpsUrl(host, kCellDetailPath, cellId, kCellDetailQuery));
    document.Parse(working);
    output.SetUser(document.GetText(Text(kUserPath)));

    working = DetailText(HttpsUrl(host, kItemDetailPath, itemId, kItemDetailQuery));
    document.Parse(working);
    output.SetDownUrl1(document.GetText(Text(kDownUrl1Path)));
    output.SetDownUrl2(document.GetText(Text(kDownUrl2Path)));
    output.SetTitle(document.GetText(Text(kTitlePath)));

    document.Clear();
    working.clear();
    itemId.clear();
    cellId.clear();
    output.SetPage(Page::End);
}

}  // namespace tarvo
