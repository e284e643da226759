#include "app/CliArgs.h"

#include <charconv>

namespace tesseron::cli {
namespace {

int ParsePort(std::string_view text, std::string_view what) {
    int port = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || port < 1 ||
        port > 65535)
        throw UsageError(std::string(what) + " has an invalid port \"" + std::string(text) +
                         "\" (1 to 65535).");
    return port;
}

std::string PercentDecode(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            int v = 0;
            const auto [end, ec] = std::from_chars(s.data() + i + 1, s.data() + i + 3, v, 16);
            if (ec == std::errc() && end == s.data() + i + 3) {
                out += static_cast<char>(v);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

} // namespace

std::pair<std::string, int> ParseHostPort(std::string_view text, int defaultPort) {
    const auto colon = text.rfind(':');
    std::string host(colon == std::string_view::npos ? text : text.substr(0, colon));
    const int port =
        colon == std::string_view::npos
            ? defaultPort
            : ParsePort(text.substr(colon + 1), "The address \"" + std::string(text) + "\"");
    if (host.empty()) throw UsageError("The address \"" + std::string(text) + "\" names no host.");
    return {host, port};
}

SocksInfo ParseProxyUrl(std::string_view url) {
    SocksInfo info;
    const auto sep = url.find("://");
    if (sep == std::string_view::npos)
        throw UsageError("The proxy \"" + std::string(url) +
                         "\" must start with socks4://, socks4a:// or socks5://.");
    const auto scheme = url.substr(0, sep);
    if (scheme == "socks4")
        info.version = 1;
    else if (scheme == "socks4a")
        info.version = 2;
    else if (scheme == "socks5")
        info.version = 3;
    else
        throw UsageError("The proxy kind \"" + std::string(scheme) +
                         "\" is not one of socks4, socks4a and socks5.");
    auto rest = url.substr(sep + 3);
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    const auto at = rest.rfind('@');
    if (at != std::string_view::npos) {
        const auto user = rest.substr(0, at);
        const auto colon = user.find(':');
        info.userName = PercentDecode(user.substr(0, colon));
        if (colon != std::string_view::npos) {
            if (info.version != 3)
                throw UsageError("A SOCKS 4 proxy takes a user name but no password.");
            info.password = PercentDecode(user.substr(colon + 1));
            info.authentication = 1;
        }
        rest = rest.substr(at + 1);
    }
    auto [host, port] = ParseHostPort(rest, 1080);
    info.host = std::move(host);
    info.port = port;
    return info;
}

Command ParseArgs(const std::vector<std::string>& args) {
    Command cmd;
    bool servers = false;
    bool haveServer = false;
    bool haveProxy = false;
    bool haveTimeout = false;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError("The option " + a + " needs a value.");
            return args[++i];
        };
        if (a == "-h" || a == "--help") {
            cmd.mode = Command::Mode::Help;
            return cmd;
        } else if (a == "--version") {
            cmd.mode = Command::Mode::Version;
            return cmd;
        } else if (a == "--servers") {
            servers = true;
        } else if (a == "--server-list") {
            cmd.serverList = value();
        } else if (a == "--server") {
            auto [host, port] = ParseHostPort(value(), 43);
            cmd.host = std::move(host);
            cmd.port = port;
            haveServer = true;
        } else if (a == "--proxy") {
            cmd.proxy = ParseProxyUrl(value());
            haveProxy = true;
        } else if (a == "--timeout") {
            const auto& v = value();
            int ms = -1;
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), ms);
            if (v.empty() || ec != std::errc() || end != v.data() + v.size() || ms < 0)
                throw UsageError("The time-out \"" + v +
                                 "\" is not a number of milliseconds (0 waits without limit).");
            cmd.timeoutMs = ms;
            haveTimeout = true;
        } else if (a == "--") {
            positional.insert(positional.end(), args.begin() + static_cast<long>(i) + 1,
                              args.end());
            break;
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError("Unknown option " + a + ".");
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 1)
        throw UsageError(positional.empty() ? "Give the text to look up."
                                            : "Give one text to look up; quote it if it has "
                                              "blanks.");
    if (servers) {
        if (haveServer || haveProxy || haveTimeout)
            throw UsageError("--servers takes only --server-list.");
        cmd.mode = Command::Mode::Servers;
        cmd.text = positional.front();
        return cmd;
    }
    if (!haveServer)
        throw UsageError("Name the WHOIS server with --server HOST[:PORT], or list the "
                         "servers for a name with --servers.");
    if (!cmd.serverList.empty()) throw UsageError("--server-list goes with --servers.");
    cmd.mode = Command::Mode::Exchange;
    cmd.query = positional.front();
    return cmd;
}

const char* UsageText() {
    return "Usage:\n"
           "  tesseron-cli --server HOST[:PORT] [--proxy URL] [--timeout MS] QUERY\n"
           "      Sends QUERY to one WHOIS server and prints its answer as received.\n"
           "      URL: socks4://HOST:PORT, socks4a://[USER@]HOST:PORT or\n"
           "           socks5://[USER:PASSWORD@]HOST:PORT\n"
           "      MS: longest wait for the next piece of the answer (default 5000, 0: none)\n"
           "  tesseron-cli --servers [--server-list FILE] TEXT\n"
           "      Lists the WHOIS servers the server list names for TEXT (address, tab,\n"
           "      query prefix), in the order they are asked.\n"
           "  tesseron-cli --help | --version\n"
           "Exit codes: 0 success, 1 the exchange failed, 2 no zone or no server, 64 bad usage.\n";
}

} // namespace tesseron::cli
