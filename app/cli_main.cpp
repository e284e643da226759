// tesseron-cli: the WHOIS engine in a terminal. A thin layer over the core.
#include "app/CliArgs.h"
#include "app/TesseronVersion.h"
#include "desktop/ProgramPaths.h"
#include "query/WhoisExchange.h"
#include "serverdb/uDomainList.h"

#include <csignal>
#include <cstdio>
#include <iostream>

using namespace tesseron;
using namespace tesseron::cli;

namespace {

int Fail(int code, std::string sentence) {
    // One line, even when a parser's message spans several.
    for (std::size_t at; (at = sentence.find('\n')) != std::string::npos;)
        sentence.replace(at, 1, "; ");
    std::cerr << "tesseron-cli: " << sentence << "\n";
    return code;
}

int RunExchange(const Command& cmd) {
    ExchangeLimits limits;
    limits.readTimeoutMs = cmd.timeoutMs;
    WhoisClient client(cmd.proxy, limits);
    std::string answer;
    try {
        answer = client.WhoisExchange(cmd.host, cmd.port, cmd.query);
    } catch (const ExchangeError& e) {
        return Fail(kExchangeFailed, e.what());
    }
    if (std::fwrite(answer.data(), 1, answer.size(), stdout) != answer.size() ||
        std::fflush(stdout) != 0)
        return Fail(kExchangeFailed, "Cannot write the answer to standard output.");
    return kSuccess;
}

int ListServers(const Command& cmd) {
    const std::string path = cmd.serverList.empty()
                                 ? ProgramPaths::ForThisProcess().ServerListFile().string()
                                 : cmd.serverList;
    TDomainCollection domains;
    try {
        domains.LoadFromFile(path);
    } catch (const ServerListError& e) {
        return Fail(kNoServer, "Cannot read the server list " + path + ": " + e.what());
    }
    const TWhoisServerCollection* servers = nullptr;
    try {
        servers = domains.FindServers(cmd.text);
    } catch (const InvalidMaskError& e) {
        return Fail(kNoServer, std::string("The server list has a broken zone: ") + e.what());
    }
    if (!servers) return Fail(kNoServer, "No zone of the server list serves \"" + cmd.text + "\".");
    if (servers->Count() == 0)
        return Fail(kNoServer, "The zone serving \"" + cmd.text + "\" lists no WHOIS server.");
    for (int i = 0; i < servers->Count(); ++i)
        std::cout << servers->Items(i).Address << '\t' << servers->Items(i).WhoisPrefix << '\n';
    std::cout.flush();
    return std::cout ? kSuccess : kExchangeFailed;
}

} // namespace

int main(int argc, char** argv) {
    // A closed pipe on stdout must be an error to report, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    Command cmd;
    try {
        cmd = ParseArgs(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::cerr << "tesseron-cli: " << e.what() << "\n"
                  << "Try 'tesseron-cli --help'.\n";
        return kUsage;
    }
    switch (cmd.mode) {
    case Command::Mode::Help:
        std::cout << UsageText();
        return kSuccess;
    case Command::Mode::Version:
        std::cout << version::kProduct << ' ' << version::kFileVersion << '\n';
        return kSuccess;
    case Command::Mode::Servers:
        return ListServers(cmd);
    case Command::Mode::Exchange:
        return RunExchange(cmd);
    }
    return kUsage;
}
