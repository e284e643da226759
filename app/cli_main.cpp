// tesseron-cli: the WHOIS engine in a terminal. A thin layer over the core.
#include "app/CliArgs.h"
#include "app/CliJson.h"
#include "app/CliUpdate.h"
#include "app/TesseronVersion.h"
#include "desktop/InstanceLock.h"
#include "desktop/ProfileFile.h"
#include "desktop/ProgramPaths.h"
#include "desktop/StaleTemporaries.h"
#include "locale/LangChanger.h"
#include "locale/Language.h"
#include "mainwin/Settings.h"
#include "mainwin/SettingsAdapters.h"
#include "query/IdnName.h"
#include "query/ServerRoute.h"
#include "query/WebAddress.h"
#include "query/uWhoisRequestThread.h"
#include "serverdb/RegistryBlocks.h"
#include "serverdb/ResultsFile.h"
#include "serverdb/uDomainList.h"
#include "serverdb/uWhoisResultList.h"

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

using namespace tesseron;
using namespace tesseron::cli;

namespace {

std::string OneLine(std::string text) {
    // One line, even when a parser's message spans several.
    for (std::size_t at; (at = text.find('\n')) != std::string::npos;)
        text.replace(at, 1, "; ");
    return text;
}

int Fail(int code, const std::string& sentence) {
    std::cerr << "tesseron-cli: " << OneLine(sentence) << "\n";
    return code;
}

void Warn(const std::string& sentence) {
    std::cerr << "tesseron-cli: " << OneLine(sentence) << "\n";
}

// The run's log in a terminal: one line each on standard error. Called on the run's own
// thread, which nothing else touches.
class TerminalLog final : public RunLog {
public:
    void AddLogLine(LogImage image, const std::string& text) override {
        std::cerr << (image == LogError ? "E " : "I ") << text << '\n';
    }
    void EndOfRun(bool) override {}
    void ExchangeFailed(const std::string& sentence) override {
        std::cerr << "E " << sentence << '\n';
    }
};

// Each answer goes to standard output, and into the result store when one is kept. Called
// on the run's own thread, which nothing else touches.
class TerminalStore final : public ResultSink {
public:
    // `results` is null when nothing is kept: the answers are only printed, as JSON when
    // `json` is set.
    TerminalStore(TWhoisResultCollection* results, StoreSettings storeSettings, bool json)
        : results_(results), storeSettings_(std::move(storeSettings)), json_(json) {}

    std::optional<QueuedEntry> ReadQueued(ResultId) override { return std::nullopt; }
    std::optional<ResultId> StoreAnswer(const StoreRequest& request) override {
        TWhoisResultItem* item =
            results_ ? StoreResult(*results_, request, storeSettings_) : nullptr;
        const std::string json = json_ ? AnswerAsJson(request) : std::string();
        const std::string& out = json_ ? json : request.RawAnswer;
        if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() ||
            std::fflush(stdout) != 0)
            outputFailed_ = true;
        return item ? std::optional<ResultId>(item->Id()) : std::nullopt;
    }

    bool outputFailed() const { return outputFailed_; }

private:
    TWhoisResultCollection* results_;
    StoreSettings storeSettings_;
    bool json_;
    bool outputFailed_ = false;
};

int ExitCodeOf(int32_t errorCode) {
    switch (errorCode) {
    case QueryOk:
        return kSuccess;
    case QueryNoServer:
        return kNoServer;
    case QueryEmpty:
        return kEmptyQuery;
    default:
        return kExchangeFailed;
    }
}

// How long --store waits for a window or another run to let go of the results file.
// TESSERON_STORE_WAIT_MS overrides it (tests keep their runs short with it).
std::chrono::milliseconds StoreLockWait() {
    constexpr std::chrono::milliseconds kDefault{10000};
    const char* text = std::getenv("TESSERON_STORE_WAIT_MS");
    if (!text || !*text) return kDefault;
    char* end = nullptr;
    const long ms = std::strtol(text, &end, 10);
    return *end == '\0' && ms >= 0 ? std::chrono::milliseconds(ms) : kDefault;
}

// "10 s", "0.3 s".
std::string Seconds(std::chrono::milliseconds wait) {
    const auto ms = wait.count();
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000 != 0) text += "." + std::to_string(ms % 1000 / 100);
    return text + " s";
}

// The settings file named on the command line, or the program's own. Throws UsageError
// for a named file that does not exist.
TSettings ReadSettings(const Command& cmd, const ProgramPaths& paths) {
    if (!cmd.settingsFile.empty() && !std::filesystem::exists(cmd.settingsFile))
        throw UsageError("The settings file " + cmd.settingsFile + " does not exist.");
    ProfileFile settingsFile(cmd.settingsFile.empty() ? paths.SettingsFile()
                                                      : std::filesystem::path(cmd.settingsFile));
    TSettings settings;
    LoadSettings(settingsFile, paths, settings);
    return settings;
}

// An address as the address box takes it.
std::string AsTyped(const std::string& text, const TSettings& settings) {
    std::string out = FilterWebAddress(text, settings.bSmartFilterURL);
    return settings.bAsDomain ? StripLeadingWww(out, settings.bSmartFilterURL) : out;
}

// Throws UsageError for a file or folder named on the command line that is not there.
void CheckNamedFiles(const Command& cmd) {
    std::error_code ec;
    if (!cmd.rdapBootstrap.empty() && !std::filesystem::is_directory(cmd.rdapBootstrap, ec))
        throw UsageError("The RDAP bootstrap folder " + cmd.rdapBootstrap + " does not exist.");
    if (!cmd.caFile.empty() && !std::filesystem::is_regular_file(cmd.caFile, ec))
        throw UsageError("The CA file " + cmd.caFile + " does not exist.");
}

// The registries' block tables and the domains' RDAP services, from --rdap-bootstrap or
// the program's data; missing or broken files leave numbers to their zone's list order
// and those addresses without an RDAP service, said once.
void LoadRegistries(RegistryBlocks& registries, const Command& cmd, const ProgramPaths& paths) {
    const std::string faults =
        cmd.rdapBootstrap.empty()
            ? registries.LoadFiles([&](std::string_view name) { return paths.RdapFile(name); })
            : registries.LoadFolder(cmd.rdapBootstrap);
    if (!faults.empty())
        Warn("The registries' data cannot be used, so numbers are asked of their zone's servers "
             "in list order, and the RDAP services it names are unknown: " +
             faults);
}

// The protocols a run asks: the command line's choice, else the settings'.
ProtocolChoice ProtocolsOf(const Command& cmd, const TSettings& settings) {
    switch (cmd.protocol) {
    case Command::Protocol::Whois:
        return ProtocolChoice::Whois;
    case Command::Protocol::Rdap:
        return ProtocolChoice::Rdap;
    case Command::Protocol::Auto:
        break;
    }
    return MakeRunSettings(settings, {}).protocols; // the one mapping of RdapMode
}

int Run(const Command& cmd, const ProgramPaths& paths) {
    TSettings settings;
    try {
        settings = ReadSettings(cmd, paths);
        CheckNamedFiles(cmd);
    } catch (const UsageError& e) {
        return Fail(kUsage, e.what());
    }
    const ProtocolChoice protocols = ProtocolsOf(cmd, settings);
    if (cmd.proxy) {
        settings.proxyVersion = cmd.proxy->version;
        settings.proxyHost = cmd.proxy->host;
        settings.proxyPort = cmd.proxy->port;
        settings.proxyAuthentication = cmd.proxy->authentication;
        settings.proxyUserName = cmd.proxy->userName;
        settings.proxyPassword = cmd.proxy->password;
    }
    if (cmd.timeoutMs) settings.whoisTimeout = *cmd.timeoutMs;
    if (cmd.server) settings.bUseRating = false;
    if (!cmd.serverList.empty()) settings.ServerListPath = cmd.serverList;

    // As the window with "Query as domain" off: the address is sent, and a referral is
    // followed only to a server of the zone.
    if (cmd.asAddress) settings.bAsDomain = false;
    RunRequest request;
    request.asDomain = settings.bAsDomain;
    for (const auto& a : cmd.addresses)
        request.addresses.push_back(AsTyped(a, settings));

    TLangChanger changer;
    MessageTable messages;
    try {
        LoadLanguage(changer, messages, settings.DefaultLang, paths);
    } catch (const std::exception& e) {
        Warn(std::string("The language file cannot be used: ") + e.what());
    }

    // The server list is read when the run first needs a zone's port-43 servers: never
    // when RDAP alone is asked or answers first.
    TDomainCollection domains;
    const auto readDomains = [&]() -> const TDomainCollection* {
        if (!settings.bUseRating) return nullptr;
        try {
            domains.LoadFromFile(settings.ServerListPath);
        } catch (const std::exception& e) {
            domains.Clear(); // what a broken file left half-read is not used, as in the window
            Warn("Cannot read the server list " + settings.ServerListPath + ": " + e.what());
        }
        return &domains;
    };
    RegistryBlocks registries;
    if (settings.bUseRating) LoadRegistries(registries, cmd, paths);

    const std::string resultsPath =
        cmd.resultsFile.empty() ? settings.ResultsPath : cmd.resultsFile;
    TWhoisResultCollection results;
    // Held from before the file is read until it is written: one writer at a time.
    std::optional<InstanceLock> storeLock;
    if (cmd.store) {
        const auto wait = StoreLockWait();
        try {
            storeLock = InstanceLock::Acquire(InstanceLock::For(resultsPath), wait);
        } catch (const std::exception& e) {
            return Fail(kExchangeFailed, std::string(e.what()) + "; nothing was asked.");
        }
        if (!storeLock)
            return Fail(kExchangeFailed,
                        "The results file " + resultsPath +
                            " is in use by a Tesseron window or another --store run (waited " +
                            Seconds(wait) +
                            "), so nothing was asked. Close the window or try again later.");
        RemoveStaleTemporaries({resultsPath, resultsPath + ".damaged"});
        try {
            results.LoadFromFile(resultsPath);
        } catch (const std::exception& e) {
            Warn("The results file " + resultsPath + " is damaged (" + e.what() +
                 "); it will be kept as " + resultsPath + ".damaged.");
        }
    }

    TerminalLog log;
    TerminalStore store(cmd.store ? &results : nullptr, MakeStoreSettings(settings), cmd.json);
    int32_t code = QueryOk;
    {
        RunSettings runSettings = MakeRunSettings(settings, cmd.server.value_or(""));
        runSettings.connectTo = cmd.connectTo;
        runSettings.protocols = protocols;
        runSettings.caFile = cmd.caFile;
        TWhoisRequestThread run(std::move(request), std::move(runSettings),
                                TWhoisRequestThread::DomainSource(readDomains),
                                settings.bUseRating ? &registries : nullptr, messages, log, store);
        run.Wait();
        code = run.ErrorCode();
    }
    if (store.outputFailed())
        return Fail(kExchangeFailed, "Cannot write the answer to standard output.");
    if (cmd.store) {
        try {
            results.SaveToFile(resultsPath);
        } catch (const std::exception& e) {
            return Fail(kExchangeFailed, e.what());
        }
    }
    return ExitCodeOf(code);
}

// The zone's port-43 servers as "address\tprefix" lines, in the run's order, or why there
// are none.
struct ZoneLines {
    std::vector<std::string> lines;
    std::string problem;
    bool listFault = false; // the list itself is unreadable or broken, not just silent
};

ZoneLines ZoneServerLines(const std::string& listPath, const std::string& typed,
                          const std::string& text, const QueryText& query,
                          const RegistryBlocks& registries) {
    TDomainCollection domains;
    try {
        domains.LoadFromFile(listPath);
    } catch (const ServerListError& e) {
        return {{}, "Cannot read the server list " + listPath + ": " + e.what(), true};
    }
    const TWhoisServerCollection* servers = nullptr;
    try {
        servers = domains.FindServers(text);
    } catch (const InvalidMaskError& e) {
        return {{}, std::string("The server list has a broken zone: ") + e.what(), true};
    }
    if (!servers) return {{}, "No zone of the server list serves \"" + typed + "\"."};
    if (servers->Count() == 0)
        return {{}, "The zone serving \"" + typed + "\" lists no WHOIS server."};
    ZoneLines out;
    for (const TWhoisServerItem* server : AskingOrder(*servers, &registries, query))
        out.lines.push_back(server->Address + '\t' + server->WhoisPrefix);
    return out;
}

int ListServers(const Command& cmd, const ProgramPaths& paths) {
    const std::string path =
        cmd.serverList.empty() ? paths.ServerListFile().string() : cmd.serverList;
    TSettings settings;
    try {
        settings = ReadSettings(cmd, paths);
        CheckNamedFiles(cmd);
    } catch (const UsageError& e) {
        return Fail(kUsage, e.what());
    }
    const ProtocolChoice protocols = ProtocolsOf(cmd, settings);
    // The text a run would look up: a name as typed (an IDN as A-labels), "ip" for an
    // address or a network, "asn" for an AS number.
    const std::string typed = AsTyped(cmd.text, settings);
    if (typed.empty()) return Fail(kEmptyQuery, "The name \"" + cmd.text + "\" is empty.");
    const QueryText query = ClassifyQuery(typed);
    std::string lookupName = typed;
    if (query.kind == QueryKind::Name && query.nonAscii) {
        const IdnResult idn = ToLookupName(query.canonical);
        if (!idn.ok())
            return Fail(kEmptyQuery, "The name \"" + typed +
                                         "\" is not a valid internationalised name: " + idn.error);
        lookupName = idn.name;
    }
    const bool whois = protocols != ProtocolChoice::Rdap;
    const bool rdap = protocols != ProtocolChoice::Whois;
    RegistryBlocks registries;
    if (rdap || IsNumberKind(query.kind)) LoadRegistries(registries, cmd, paths);

    ZoneLines zone;
    if (whois)
        zone =
            ZoneServerLines(path, typed, ZoneLookupText(query.kind, lookupName), query, registries);
    std::vector<std::string> rdapLines;
    if (rdap)
        for (std::string& url : RdapServiceUrls(&registries, query, lookupName))
            rdapLines.push_back(std::move(url) + '\t');
    if (zone.lines.empty() && rdapLines.empty()) {
        const std::string noService = "No RDAP service is known for \"" + typed + "\".";
        return Fail(kNoServer, !whois ? noService
                               : rdap ? zone.problem + " " + noService
                                      : zone.problem);
    }
    // A list that cannot be read is a fault worth saying even when RDAP has an answer.
    if (zone.listFault) Warn(zone.problem);
    const bool rdapFirst =
        protocols == ProtocolChoice::RdapThenWhois || protocols == ProtocolChoice::Rdap;
    for (const auto* part :
         rdapFirst ? std::array{&rdapLines, &zone.lines} : std::array{&zone.lines, &rdapLines})
        for (const std::string& line : *part)
            std::cout << line << '\n';
    std::cout.flush();
    return std::cout ? kSuccess : kExchangeFailed;
}

// The list named with --server-list is replaced where it is; otherwise the update goes where
// the window's goes, and the list in use becomes its backup.
int UpdateServerListCommand(const Command& cmd, const ProgramPaths& paths) {
    TSettings settings;
    try {
        settings = ReadSettings(cmd, paths);
        if (cmd.serverList.empty()) paths.EnsureWritableDir();
    } catch (const UsageError& e) {
        return Fail(kUsage, e.what());
    } catch (const std::exception& e) {
        return Fail(kExchangeFailed, std::string("The server list was not updated: ") + e.what());
    }
    const std::filesystem::path current =
        std::filesystem::path(cmd.serverList.empty() ? settings.ServerListPath : cmd.serverList);
    const std::filesystem::path target =
        cmd.serverList.empty() ? paths.UpdatedServerListFile() : current;
    std::string error;
    if (!UpdateServerList(cmd.updateUrl.empty() ? settings.WhoisFileLink : cmd.updateUrl, target,
                          current, std::cerr, error))
        return Fail(kExchangeFailed, error);
    return kSuccess;
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
    const auto paths = ProgramPaths::ForThisProcess();
    switch (cmd.mode) {
    case Command::Mode::Help:
        std::cout << UsageText();
        return kSuccess;
    case Command::Mode::Version:
        std::cout << VersionText();
        return kSuccess;
    case Command::Mode::Servers:
        return ListServers(cmd, paths);
    case Command::Mode::UpdateServerList:
        return UpdateServerListCommand(cmd, paths);
    case Command::Mode::Run:
        return Run(cmd, paths);
    }
    return kUsage;
}
