#include "common/ProxyRules.h"

#include <vector>

#include "common/AsciiText.h"

namespace tvk {

namespace {

std::vector<std::string_view> Entries(std::string_view list, std::string_view separators) {
    std::vector<std::string_view> entries;
    while (!list.empty()) {
        const size_t end = list.find_first_of(separators);
        if (std::string_view entry = list.substr(0, end); !entry.empty()) entries.push_back(entry);
        if (end == std::string_view::npos) break;
        list.remove_prefix(end + 1);
    }
    return entries;
}

// '*' matches any run of letters, as in Internet Options.
bool Matches(std::string_view pattern, std::string_view host) {
    if (pattern.empty()) return host.empty();
    if (pattern.front() == '*') {
        for (size_t skip = 0; skip <= host.size(); ++skip)
            if (Matches(pattern.substr(1), host.substr(skip))) return true;
        return false;
    }
    return !host.empty() && AsciiLower(pattern.front()) == AsciiLower(host.front()) &&
           Matches(pattern.substr(1), host.substr(1));
}

bool IsLoopback(std::string_view host) {
    return EqualsIgnoringAsciiCase(host, "localhost") || host.starts_with("127.") || host == "::1";
}

bool Bypassed(std::string_view bypass, std::string_view host) {
    const std::vector<std::string_view> patterns = Entries(bypass, "; \t\r\n");
    bool loopbackDirect = true;
    for (std::string_view pattern : patterns) {
        if (pattern == "<-loopback>") loopbackDirect = false;
        if (pattern == "<local>" && host.find_first_of(".:") == std::string_view::npos) return true;
        if (const size_t scheme = pattern.find("://"); scheme != std::string_view::npos)
            pattern.remove_prefix(scheme + 3);
        if (Matches(pattern, host)) return true;
    }
    return loopbackDirect && IsLoopback(host);
}

}  // namespace

std::string ProxyForUrl(std::string_view proxies, std::string_view bypass, std::string_view url) {
    // A bare "host:port/path" is fetched over http.
    const size_t schemeEnd = url.find("://");
    const bool bare = schemeEnd == std::string_view::npos;
    const std::string_view scheme = bare ? "http" : url.substr(0, schemeEnd);
    std::string_view host = bare ? url : url.substr(schemeEnd + 3);
    host = host.substr(0, host.find_first_of("/?#"));
    if (const size_t at = host.rfind('@'); at != std::string_view::npos) host.remove_prefix(at + 1);
    if (host.starts_with('[')) {
        host = host.substr(1, host.find(']') - 1);
    } else if (const size_t colon = host.find(':'); colon != std::string_view::npos) {
        host = host.substr(0, colon);
    }
    if (Bypassed(bypass, host)) return {};
    std::string_view chosen, common;
    for (std::string_view entry : Entries(proxies, "; \t\r\n")) {
        const size_t equals = entry.find('=');
        if (equals == std::string_view::npos) {
            if (common.empty()) common = entry;
        } else if (chosen.empty() && EqualsIgnoringAsciiCase(entry.substr(0, equals), scheme)) {
            chosen = entry.substr(equals + 1);
        }
    }
    if (chosen.empty()) chosen = common;
    if (chosen.empty()) return {};
    return chosen.find("://") == std::string_view::npos ? "http://" + std::string(chosen)
                                                        : std::string(chosen);
}

}  // namespace tvk
