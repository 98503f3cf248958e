#pragma once

#include <string>
#include <string_view>

namespace tvk {

// Windows' proxy settings, as Internet Options and WinHTTP give them, for one
// URL. `proxies` is "host:port" for every scheme, or entries per scheme
// ("http=host:port;https=host:port"), separated by ';' or blanks; `bypass`
// lists host patterns ('*' for any letters) separated by ';', "<local>" for
// names without a dot. Loopback addresses go direct unless the list holds
// "<-loopback>". Returns the proxy as libcurl takes it ("http://host:port"),
// or "" to go direct.
std::string ProxyForUrl(std::string_view proxies, std::string_view bypass, std::string_view url);

}  // namespace tvk
