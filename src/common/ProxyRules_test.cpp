#include "common/ProxyRules.h"

#include <gtest/gtest.h>

namespace tvk {
namespace {

TEST(ProxyRules, TheSchemesEntryOrTheCommonOneUnlessTheHostIsBypassed) {
    struct Case {
        const char* proxies;
        const char* bypass;
        const char* url;
        const char* proxy;  // "": direct
    } cases[] = {
        {"proxy.firma.no:8080", "", "http://update.tavrin.no/f", "http://proxy.firma.no:8080"},
        {"http=a:80;https=b:443", "", "https://update.tavrin.no/f", "http://b:443"},
        {"http=a:80 https=b:443", "", "HTTP://update.tavrin.no/f", "http://a:80"},
        {"http=a:80", "", "https://update.tavrin.no/f", ""},
        {"ftp=f:21;c:3128", "", "https://u:p@update.tavrin.no:8443/f", "http://c:3128"},
        {"https://secure:443", "", "https://x.no", "https://secure:443"},
        {"c:3128", "*.tavrin.no;intranet", "http://update.TAVRIN.no/f", ""},
        {"c:3128", "<local>", "http://intranet/f", ""},
        {"c:3128", "<local>", "http://intranet.firma.no/f", "http://c:3128"},
        {"c:3128", "", "http://127.0.0.1:8080/f", ""},
        {"c:3128", "<-loopback>", "http://[::1]:8080/f", "http://c:3128"},
        {"http=a:80;https=b:443", "", "update.tavrin.no:8080/f", "http://a:80"},
        {"", "", "http://update.tavrin.no/f", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProxyForUrl(c.proxies, c.bypass, c.url), c.proxy) << c.proxies << " " << c.url;
}

}  // namespace
}  // namespace tvk
