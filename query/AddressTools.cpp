#include "query/AddressTools.h"

#include "mainwin/ProfileFile.h"
#include "query/AbortHandle.h"
#include "query/RunOffThread.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

namespace tesseron {
namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), Lower);
    return out;
}

int AbortFd(const AbortHandle* abort) {
    return abort ? abort->fd() : -1;
}

} // namespace

bool IsIPAddress(std::string_view text) {
    std::string_view parts[4];
    for (int i = 0; i < 3; ++i) {
        const auto dot = text.find('.');
        if (dot == std::string_view::npos) {
            parts[i] = text;
            text = {};
            continue;
        }
        parts[i] = text.substr(0, dot);
        text.remove_prefix(dot + 1);
    }
    parts[3] = text;
    return std::all_of(std::begin(parts), std::end(parts), [](std::string_view p) {
        // The same integer text the settings accept: decimal with a sign, or "0x" hex.
        const auto v = ParseProfileInteger(p);
        return v && *v >= 0 && *v <= 255;
    });
}

std::string ResolveAddress(const std::string& name, const AbortHandle* abort) {
    if (name.empty() || name.size() >= 256 || name.find('\0') != std::string::npos) return {};
    const auto r = ResolveIPv4(name, AbortFd(abort));
    if (r.status != ResolveStatus::Ok) return {};
    char text[INET_ADDRSTRLEN] = {};
    return inet_ntop(AF_INET, &r.address, text, sizeof text) ? std::string(text) : std::string();
}

std::string ResolveReverseName(const std::string& address, const AbortHandle* abort) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) return {};
    const auto name = RunOffThread<std::string>(
        [sa]() {
            char host[NI_MAXHOST] = {};
            if (getnameinfo(reinterpret_cast<const sockaddr*>(&sa), sizeof sa, host, sizeof host,
                            nullptr, 0, NI_NAMEREQD) != 0)
                return std::string();
            return std::string(host);
        },
        AbortFd(abort));
    return name.value_or(std::string());
}

ServerAddress SplitServerAddress(std::string_view text) {
    if (const auto scheme = text.find("://"); scheme != std::string_view::npos)
        text.remove_prefix(scheme + 3);
    if (const auto slash = text.find('/'); slash != std::string_view::npos)
        text = text.substr(0, slash);
    ServerAddress out;
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        out.host = std::string(text);
        return out;
    }
    out.host = std::string(text.substr(0, colon));
    if (const auto port = ParseProfileInteger(text.substr(colon + 1))) out.port = *port;
    return out;
}

std::string_view ReferralKey(std::string_view queryString) {
    return IsIPAddress(queryString) ? "ReferralServer:" : "Whois Server:";
}

std::optional<std::string> FindReferral(std::string_view answer, std::string_view key) {
    const std::string lowerKey = LowerAscii(key);
    std::size_t start = 0;
    while (start < answer.size()) {
        auto end = answer.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = answer.size();
        const std::string line = LowerAscii(answer.substr(start, end - start));
        if (const auto at = line.find(lowerKey); at != std::string::npos) {
            // The text after the key less the one character that follows it (normally a
            // blank); a leading blank stays when more blanks follow.
            const std::size_t from = at + lowerKey.size() + 1;
            return from < line.size() ? line.substr(from) : std::string();
        }
        // CR LF ends one line, not two.
        start =
            end +
            ((end + 1 < answer.size() && answer[end] == '\r' && answer[end + 1] == '\n') ? 2 : 1);
    }
    return std::nullopt;
}

std::string FilterURL(std::string_view text, bool smart) {
    std::string t(TrimBlanks(text));
    if (!smart) return t;
    if (const auto scheme = t.find("://"); scheme != std::string::npos) t.erase(0, scheme + 3);
    if (const auto slash = t.find('/'); slash != std::string::npos) t.erase(slash);
    if (const auto colon = t.find(':'); colon != std::string::npos) t.erase(colon);
    return t;
}

std::string StripWww(std::string_view text, bool smart) {
    std::string t(TrimBlanks(text));
    if (smart && t.rfind("www.", 0) == 0) t.erase(0, 4);
    return t;
}

void AddToHistory(std::vector<std::string>& history, const std::string& text, int historyLines) {
    history.erase(std::remove(history.begin(), history.end(), text), history.end());
    history.insert(history.begin(), text);
    const auto keep = static_cast<std::size_t>(std::max(historyLines, 0));
    if (history.size() > keep) history.resize(keep);
}

bool IsQueryEnabled(std::string_view addressText, std::string_view serverText, bool useRating) {
    return !addressText.empty() && (!serverText.empty() || useRating);
}

} // namespace tesseron
