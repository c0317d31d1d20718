#include "bench/bench_texts.h"

#include "text/conversion.h"

namespace tarvo::bench {
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

}  // namespace

const Text& ItemDetail() {
    static const Text text = [] {
        const std::string video =
            R"({"video_id":"v0200f","duration":15.2,"width":720,"height":1280,)"
            R"("video_fallback":{"url_list":)" +
            UrlList(0) + R"(},"video_download":{"url_list":)" + UrlList(1) +
            R"(},"video_high":{"url_list":)" + UrlList(2) + R"(},"cover_image":{"url_list":)" +
            UrlList(3) + "}}";
        std::string comments;
        for (int i = 0; comments.size() < 60000; ++i) {
            if (i > 0) comments += ",";
            comments += Comment(i);
        }
        return Utf8ToGbk(
            R"({"status_code":0,"message":"success","data":{"comment":{"user":{"name":"分享者"}},)"
            R"("item":{"item_id":6852330000000000000,"content":"今天天气真好，分享一个视频",)"
            R"("share":{"title":"这是一个很有意思的视频","url":"https://h5.example.test/item/1"},)"
            R"("video":)" +
            video + R"(,"comments":[)" + comments + R"(],"stats":{"like_count":1024}}}})");
    }();
    return text;
}

const Text& RedirectHeaders() {
    static const Text text =
        "HTTP/1.1 302 Found\r\n"
        "Server: Tengine\r\n"
        "Content-Type: text/html; charset=utf-8\r\n"
        "Content-Length: 412\r\n"
        "Connection: keep-alive\r\n"
        "Date: Thu, 11 Dec 2025 09:30:00 GMT\r\n"
        "Location: https://h5.pipix.com/item/7301234567890123456?app_id=1319&app=super"
        "&timestamp=1765432100&carrier_region=cn&region=cn&language=zh"
        "&cell_id=7301234567890654321&cell_type=8&utm_source=copy_link"
        "&utm_campaign=client_share&utm_medium=android&share_app=super\r\n"
        "Cache-Control: no-cache\r\n"
        "X-Tt-Logid: 20251211093000010151203177A1B2C3D4\r\n"
        "Set-Cookie: ttwid=1%7CAbCdEfGhIjKlMnOpQrStUvWxYz; Path=/; Domain=pipix.com; "
        "Max-Age=31536000; HttpOnly\r\n"
        "Via: cache14.cn1234[0,302-0,M], cache9.cn1234[0,0]\r\n"
        "Timing-Allow-Origin: *\r\n"
        "EagleId: 6f3a2b1c17654321000012345e\r\n\r\n";
    return text;
}

const Text& RequestHeaders() {
    static const Text text =
        "accept: */*\r\n"
        "referer: https://h5.pipix.com/bds/webapi/item/detail/?item_id=7301234567890123456"
        "&source=share\r\n"
        "accept-language: zh-cn\r\n"
        "user-agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n"
        "content-type: application/x-www-form-urlencoded\r\n"
        "x-requested-with: XMLHttpRequest\r\n"
        "cache-control: no-cache\r\n"
        "cookie: ttwid=1%7CAbCdEfGhIjKlMnOpQrStUvWxYz; odin_tt=abcdef0123456789";
    return text;
}

const Text& SentCookies() {
    static const Text text =
        "ttwid=1%7CAbCdEfGhIjKlMnOpQrStUvWxYz; odin_tt=abcdef0123456789abcdef; "
        "passport_csrf_token=0123456789abcdef0123456789abcdef; sid_guard=a1b2c3d4%7C1765432100; "
        "uid_tt=9f8e7d6c5b4a39281706f5e4d3c2b1a0; sessionid=deadbeefdeadbeefdeadbeef; "
        "install_id=1234567890123456789; MONITOR_WEB_ID=5e6f7a8b-1c2d-3e4f-5a6b-7c8d9e0f1a2b";
    return text;
}

const Text& ReturnedCookies() {
    static const Text text =
        "ttwid=1%7CNewNewNewNewNewNewNewNewNew; sessionid=deleted; "
        "msToken=QWERTYUIOPASDFGHJKLZXCVBNM0123456789qwertyuiop; "
        "odin_tt=fedcba9876543210fedcba; tt_scid=ZxCvBnMaSdFgHjKl";
    return text;
}

const std::string& ChineseUtf8() {
    static const std::string text = [] {
        std::string out;
        for (int i = 0;; ++i) {
            const std::string line = "第" + std::to_string(i) +
                                     "条：今天的晚霞太美了，带你们看看海边的日落。#治愈系 #旅行 "
                                     "https://h5.pipix.com/s/aBcD123/ ";
            if (out.size() + line.size() > 65536) break;
            out += line;
        }
        // Whole characters only; pad to 64 KB.
        out.resize(65536, ' ');
        return out;
    }();
    return text;
}

}  // namespace tarvo::bench
