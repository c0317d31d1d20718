#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "web/url.h"

namespace tarvo {
namespace {

struct UrlCase {
    const char* name;
    std::string url;
    std::string host, hostWithPort;
    int port;
    std::string path;
};

TEST(Url, Table) {
    const std::vector<UrlCase> cases = {
        {"upper-case scheme and host", "HTTPS://SRV/x", "srv", "srv", 443, "/x"},
        {"port and query", "http://srv:8080/a/b?c=1", "srv", "srv:8080", 8080, "/a/b?c=1"},
        {"plain https", "https://h/x", "h", "h", 443, "/x"},
        {"no scheme is http", "srv/a?b", "srv", "srv", 80, "/a?b"},
        {"no slash after host", "https://srv?q=1", "srv?q=1", "srv?q=1", 443, "/"},
        {"host only", "http://srv", "srv", "srv", 80, "/"},
        {"path keeps its case", "http://Srv/A/b#Frag", "srv", "srv", 80, "/A/b#Frag"},
        {"explicit port on https", "https://srv:8443/", "srv", "srv:8443", 8443, "/"},
        {"last colon gives the port", "http://a:1:2/x", "a", "a:1:2", 2, "/x"},
        {"port without digits is 0", "http://srv:/x", "srv", "srv:", 0, "/x"},
        {"port read up to the first non-digit", "http://srv:81x/", "srv", "srv:81x", 81, "/"},
        {"huge port saturates", "http://srv:99999999999999/", "srv", "srv:99999999999999",
         2147483647, "/"},
        // "https" without "://" still picks port 443, but the host comes from "http://".
        {"https prefix without marker", "httpsrv/x", "httpsrv", "httpsrv", 443, "/x"},
        {"http marker later in the text", "x?u=http://a/b", "a", "a", 80, "/b"},
        {"host also appears in the scheme", "http://http/p", "http", "http", 80, "/p"},
        {"empty url", "", "", "", 80, "/"},
        // Ends with "/" already, so it has no scheme marker and is taken as a host "https:".
        {"truncated https marker", "https:/", "https", "https:", 0, "/"},
        {"empty host", "https:///x", "", "", 443, "/x"},
        // 0xC1 0x41 is one character: its trail byte is not a letter to lower.
        {"double-byte host",
         "http://\xC1"
         "A.cn/\xC1"
         "A",
         "\xC1"
         "A.cn",
         "\xC1"
         "A.cn",
         80,
         "/\xC1"
         "A"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(UrlHost(c.url, false), c.host);
        EXPECT_EQ(UrlHost(c.url, true), c.hostWithPort);
        EXPECT_EQ(UrlPort(c.url), c.port);
        EXPECT_EQ(UrlPath(c.url), c.path);
    }
}

}  // namespace
}  // namespace tarvo
