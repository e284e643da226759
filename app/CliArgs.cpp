#include "app/CliArgs.h"

#include "app/TesseronVersion.h"
#include "desktop/TextUtil.h"
#include "mainwin/Settings.h"

#include <algorithm>
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

} // namespace

std::pair<std::string, int> ParseHostPort(std::string_view text, int defaultPort) {
    const std::string whole = "The address \"" + std::string(text) + "\"";
    std::string_view host = text;
    std::optional<std::string_view> port;
    if (const auto close = text.find(']'); text.starts_with('[') && close != text.npos) {
        host = text.substr(1, close - 1); // an IPv6 address in brackets
        const auto rest = text.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') throw UsageError(whole + " is not [IPv6]:PORT.");
        if (!rest.empty()) port = rest.substr(1);
    } else if (std::count(text.begin(), text.end(), ':') == 1) {
        const auto colon = text.find(':');
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    } // more colons: a bare IPv6 address, which cannot carry a port
    if (host.empty()) throw UsageError(whole + " names no host.");
    return {std::string(host), port ? ParsePort(*port, whole) : defaultPort};
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
    auto [host, port] = ParseHostPort(rest, TSettings{}.proxyPort);
    info.host = std::move(host);
    info.port = port;
    return info;
}

Command ParseArgs(const std::vector<std::string>& args) {
    Command cmd;
    bool servers = false;
    bool update = false;
    std::vector<std::string> runOnly; // options that make no sense with --servers
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
        } else if (a == "--update-server-list") {
            update = true;
        } else if (a == "--server-list") {
            cmd.serverList = value();
        } else if (a == "--protocol") {
            const auto& v = value();
            if (v == "auto")
                cmd.protocol = Command::Protocol::Auto;
            else if (v == "whois")
                cmd.protocol = Command::Protocol::Whois;
            else if (v == "rdap")
                cmd.protocol = Command::Protocol::Rdap;
            else
                throw UsageError("The protocol \"" + v + "\" is not one of whois, rdap and auto.");
        } else if (a == "--rdap-bootstrap") {
            cmd.rdapBootstrap = value();
            if (cmd.rdapBootstrap.empty()) throw UsageError("--rdap-bootstrap needs a folder.");
        } else if (a == "--ca-file") {
            cmd.caFile = value();
            if (cmd.caFile.empty()) throw UsageError("--ca-file needs a file.");
            runOnly.push_back(a);
        } else if (a == "--json") {
            cmd.json = true;
            runOnly.push_back(a);
        } else if (a == "--server") {
            const auto& v = value();
            ParseHostPort(v, 43); // checks the text; the run splits it itself
            cmd.server = v;
            runOnly.push_back(a);
        } else if (a == "--proxy") {
            cmd.proxy = ParseProxyUrl(value());
            runOnly.push_back(a);
        } else if (a == "--connect-to") {
            const auto& v = value();
            const auto entry = ParseConnectTo(v);
            if (!entry)
                throw UsageError("The connect-to entry \"" + v +
                                 "\" is not HOST:PORT:TOHOST:TOPORT (an empty port: any, or "
                                 "the same; an IPv6 address in brackets).");
            cmd.connectTo.push_back(*entry);
            runOnly.push_back(a);
        } else if (a == "--timeout") {
            const auto& v = value();
            int ms = -1;
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), ms);
            if (v.empty() || ec != std::errc() || end != v.data() + v.size() || ms < 0)
                throw UsageError("The time-out \"" + v +
                                 "\" is not a number of milliseconds (0 waits without limit).");
            cmd.timeoutMs = ms;
            runOnly.push_back(a);
        } else if (a == "--as-address") {
            cmd.asAddress = true;
            runOnly.push_back(a);
        } else if (a == "--settings") {
            cmd.settingsFile = value(); // --servers prepares the name with these too
        } else if (a == "--results") {
            cmd.resultsFile = value();
            runOnly.push_back(a);
        } else if (a == "--store") {
            cmd.store = true;
            runOnly.push_back(a);
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
    if (update) {
        // The list and the settings say where it goes and where it comes from.
        if (servers || !runOnly.empty())
            throw UsageError("--update-server-list takes only --server-list and --settings, not " +
                             (servers ? std::string("--servers") : runOnly.front()) + ".");
        if (positional.size() > 1)
            throw UsageError("--update-server-list takes one address to download from.");
        cmd.mode = Command::Mode::UpdateServerList;
        if (!positional.empty()) cmd.updateUrl = positional.front();
        return cmd;
    }
    if (positional.empty())
        throw UsageError(servers ? "Give the name to find the servers for."
                                 : "Give the address to look up.");
    if (servers) {
        if (!runOnly.empty())
            throw UsageError("--servers takes only --server-list, --settings, --protocol and "
                             "--rdap-bootstrap, not " +
                             runOnly.front() + ".");
        if (positional.size() != 1)
            throw UsageError("--servers takes one name; quote it if it has blanks.");
        cmd.mode = Command::Mode::Servers;
        cmd.text = positional.front();
        return cmd;
    }
    if (!cmd.resultsFile.empty() && !cmd.store) throw UsageError("--results goes with --store.");
    cmd.mode = Command::Mode::Run;
    cmd.addresses = std::move(positional);
    return cmd;
}

std::string UsageText() {
    return std::string(
               "Usage: tesseron-cli [OPTION]... ADDRESS...\n"
               "  or:  tesseron-cli --servers [OPTION]... NAME\n"
               "  or:  tesseron-cli --update-server-list [--server-list FILE] [URL]\n"
               "Look up each ADDRESS (a domain name, a web address, an IPv4 or IPv6 address, a\n"
               "network or an AS number) as the Tesseron window does: the zone's servers from\n"
               "the server list, in order, following a referral, and the RDAP service as the\n"
               "settings' RdapMode or --protocol says. The progress goes to standard\n"
               "error (\"I \" for information, \"E \" for errors), each answer to standard "
               "output.\n"
               "\n"
               "Options:\n"
               "  --server HOST[:PORT]  ask this server instead of the server list ([IPv6]:PORT)\n"
               "  --as-address          send the name's IPv4 address instead of the name\n"
               "  --proxy URL           socks4://HOST:PORT, socks4a://[USER@]HOST:PORT or\n"
               "                        socks5://[USER:PASSWORD@]HOST:PORT\n"
               "  --connect-to HOST:PORT:TOHOST:TOPORT\n"
               "                        connect to TOHOST:TOPORT whenever HOST:PORT is asked,\n"
               "                        without looking HOST up (repeatable; an empty PORT\n"
               "                        matches any, an empty TOPORT keeps it; IPv6 in [])\n"
               "  --timeout MS          longest wait for the next piece of an answer (0: none);\n"
               "                        a whole exchange may last four times as long\n"
               "  --settings FILE       settings file (default: the program's tesseron.ini)\n"
               "  --server-list FILE    server list (default: the program's whois.xml)\n"
               "  --store               keep the answers in the results file, as the window does\n"
               "  --results FILE        results file for --store (default: the program's)\n"
               "  --protocol whois|rdap|auto\n"
               "                        port 43 only, RDAP only, or as the settings' RdapMode\n"
               "                        says (auto, the default)\n"
               "  --rdap-bootstrap DIR  RDAP bootstrap folder (dns.json, ipv4.json, ipv6.json,\n"
               "                        asn.json; default: the program's)\n"
               "  --ca-file FILE        trust this CA for HTTPS as well as the system's\n"
               "  --json                print an RDAP answer's JSON; a port-43 answer as\n"
               "                        {\"protocol\": \"whois\", \"server\", \"query\", "
               "\"answer\"}\n"
               "  --servers             list the servers asked for NAME (address, tab, query\n"
               "                        prefix), in order, the RDAP service's base addresses\n"
               "                        among them unless RDAP is off; NAME is taken as the\n"
               "                        address box takes it\n"
               "  --update-server-list  download the server list from URL (default: the\n"
               "                        settings' update address), check it and install it\n"
               "                        where the window's update does, keeping a backup\n"
               "  -h, --help            display this help and exit\n"
               "      --version         output version information and exit\n"
               "\n"
               "Exit status (of the last address): 0 success, 1 the exchange or the update\n"
               "failed (a registry's \"no record\" too), 2 neither a zone with a server nor an\n"
               "RDAP service, 3 empty address or one holding a control character, 64 bad\n"
               "usage.\n"
               "\n"
               "Report bugs to: ") +
           version::kBugAddress + "\n" + version::kProduct + " home page: <" + version::kMakerUrl +
           ">\n";
}

std::string VersionText() {
    return std::string("tesseron-cli (") + version::kProduct + ") " + version::kShortVersion +
           "\n" + version::kCopyright + "\n" + version::kLicenseLine +
           "\nThis is free software: you are free to change and redistribute it.\n"
           "There is NO WARRANTY, to the extent permitted by law.\n";
}

} // namespace tesseron::cli
