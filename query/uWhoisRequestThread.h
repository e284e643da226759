#pragma once

#include "query/QueryText.h"
#include "query/RdapTransport.h"
#include "query/WhoisTransport.h"
#include "serverdb/uWhoisResultList.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tesseron {

class AbortHandle;
class RegistryBlocks;
class TDomainCollection;
class TWhoisServerCollection;
struct MessageTable;

// Log line icons.
enum LogImage : int32_t { LogInformation = 0, LogError = 1 };

// Outcome of one address.
enum QueryErrorCode : int32_t {
    QueryOk = 0,
    QueryExchangeFailed = -1,
    QueryNoServer = -2,
    QueryEmpty = -3,
};

// The run's log and its end, realised by the progress window (or a terminal). The worker
// calls it and waits until each call is done, so log lines arrive in order and never
// overtake the store step.
class RunLog {
public:
    virtual ~RunLog() = default;

    // A line of the progress log.
    virtual void AddLogLine(LogImage image, const std::string& text) = 0;
    // The run is over: stop the animation, and close the progress window when `close`.
    virtual void EndOfRun(bool close) = 0;
    // Why the last server asked for an address that failed could not answer, in one
    // sentence, just before the end line. The window's log keeps to its own lines; a
    // terminal shows it.
    virtual void ExchangeFailed(const std::string& sentence) { (void)sentence; }
};

// Where a run's answers go, realised by whoever owns the result store. Its calls must run
// on the thread that owns the store and its views: the window carries them there with
// blocking queued calls, the command line calls straight through.
class ResultSink {
public:
    virtual ~ResultSink() = default;

    // A queued refresh entry as it is now, or nullopt once it has been deleted.
    struct QueuedEntry {
        std::string QueryString;
        TQueryType QueryType = QueryAsDomain;
        std::string Protocol; // the stored answer's: a refresh asks the same protocol
    };
    virtual std::optional<QueuedEntry> ReadQueued(ResultId id) = 0;

    // The store step and the refresh of the views (list, current result, answer pane).
    // Returns the entry that holds the answer, or nullopt when none does (the trim deleted
    // it, or a refresh target is gone).
    virtual std::optional<ResultId> StoreAnswer(const StoreRequest& request) = 0;
};

// Which protocols a run asks for an address whose servers come from the server list and
// the RDAP bootstrap, in what order. The settings' RdapMode is one of the first three.
enum class ProtocolChoice : std::uint8_t {
    Whois = 0,         // port 43 only
    WhoisThenRdap = 1, // RDAP when the zone has no port-43 server or every one failed
    RdapThenWhois = 2, // port 43 when there is no RDAP service or it failed
    Rdap = 3,          // RDAP only
};

// What a run reads, captured when it starts so later changes do not reach it.
struct RunSettings {
    bool bUseRating = true;
    bool bAsDomain = true;
    bool DetermineIpAddress = true;
    bool DetermineReverseName = true;
    uint8_t PropWNDQuery = 0;
    int32_t whoisTimeout = ExchangeLimits{}.readTimeoutMs;
    SocksInfo socks;
    std::string serverBoxText; // the server asked while bUseRating is off
    ConnectToMap connectTo;    // where connections to named servers really go
    ProtocolChoice protocols = ProtocolChoice::Whois;
    std::filesystem::path caFile; // trusted for RDAP as well as the system's store
};

// What a run processes: the queued results of a refresh, one after the other, or when
// there are none, new queries of the given addresses (the address box gives one; the
// command line may give several) with `asDomain`.
struct RunRequest {
    std::vector<std::string> addresses;
    std::vector<ResultId> updateList;
    bool asDomain = true;
};

// A run of queries on a worker thread. Starts in the constructor. Stop() asks it to end
// and interrupts a look-up or exchange in progress; the destructor waits for the end.
// Everything it is given must outlive it. EndOfRun is its last call out, so the log must
// not destroy the thread object from inside that call (it would wait for itself).
class TWhoisRequestThread {
public:
    // `domains` may be null (no server list); `registries` may be null (no block tables:
    // a number's zone is asked in its list's order).
    TWhoisRequestThread(RunRequest request, RunSettings settings, const TDomainCollection* domains,
                        const RegistryBlocks* registries, const MessageTable& messages, RunLog& log,
                        ResultSink& sink, ExchangeLimits limits = ExchangeLimits{});
    // The server list from `domains`, called on the worker the first time a zone's port-43
    // servers are looked up (never, when RDAP answers first), so a front end that reads
    // the list only for this run reads it only when needed. It may return null.
    using DomainSource = std::function<const TDomainCollection*()>;
    TWhoisRequestThread(RunRequest request, RunSettings settings, DomainSource domains,
                        const RegistryBlocks* registries, const MessageTable& messages, RunLog& log,
                        ResultSink& sink, ExchangeLimits limits = ExchangeLimits{});
    ~TWhoisRequestThread();
    TWhoisRequestThread(const TWhoisRequestThread&) = delete;
    TWhoisRequestThread& operator=(const TWhoisRequestThread&) = delete;

    // Safe from any thread, any number of times, also after the run ended.
    void Stop() noexcept;
    bool Terminated() const noexcept { return terminated_.load(std::memory_order_acquire); }
    // Waits for the end of the run (also done by the destructor). Not from the worker.
    void Wait();
    // Outcome of the last address processed; meaningful once the run has ended.
    int32_t ErrorCode() const noexcept { return errorCodeOut_.load(std::memory_order_acquire); }

private:
    void Execute();
    void ProcessAddress();
    bool PrepareLookupName();
    void IpStep();
    int32_t AskZoneServers();
    int32_t AskRdapService();
    int32_t QueryServer(const std::string& serverText);
    bool SpeaksRdap(const ServerAddress& server) const;
    void TakeRdapAnswer(std::string json);
    Transport& TransportFor(const ServerAddress& server);
    std::string Ask(const std::string& serverText, const ServerAddress& server,
                    const Question& question);
    void FinishQuery();
    void Log(LogImage image, const std::string& text);
    std::string Fmt(const std::string& text, const std::string& argument) const;
    void EndRun();

    // Fields of the run, named as they have always been.
    std::string QueryString;
    std::string ServerName;
    std::string RawAnswer;
    bool AsDomain = true;
    int32_t ErrorCode_ = 0;
    std::string IpAddress;
    std::string WhoisPrefix;
    std::string ReverseName;
    std::string lastFailure_; // why the last server asked for this address failed
    // An RDAP answer: "rdap" and the JSON as it came (RawAnswer holds its text).
    std::string Protocol;
    std::string RdapJson;
    ProtocolChoice protocols_ = ProtocolChoice::Whois; // of the address in hand
    bool notFound_ = false; // a registry said it has no record: the address ends
    std::optional<ResultId> ResultItem;
    const TWhoisServerCollection* Servers = nullptr;
    // What QueryString names, classified once per address, and the text the zone look-up,
    // the resolver and the query line of a name use (its A-label form for an IDN).
    QueryText Query;
    std::string LookupName;

    RunRequest request_;
    RunSettings settings_;
    DomainSource domainSource_;
    std::optional<const TDomainCollection*> domains_; // once asked of domainSource_
    const RegistryBlocks* registries_;
    const MessageTable& messages_;
    RunLog& log_;
    ResultSink& sink_;
    std::shared_ptr<AbortHandle> abort_;
    WhoisTransport whois_;
    RdapTransport rdap_;
    std::atomic<bool> terminated_{false};
    std::atomic<int32_t> errorCodeOut_{0};
    std::thread thread_; // last: starts once everything above exists
};

} // namespace tesseron
