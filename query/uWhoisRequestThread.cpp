#include "query/uWhoisRequestThread.h"

#include "desktop/TextUtil.h"
#include "locale/Language.h"
#include "locale/TextFormat.h"
#include "query/AbortHandle.h"
#include "query/AddressBox.h"
#include "query/FailureText.h"
#include "query/IdnName.h"
#include "query/RdapRender.h"
#include "query/Referral.h"
#include "query/Resolver.h"
#include "query/ServerRoute.h"
#include "serverdb/uDomainList.h"

namespace tesseron {
namespace {

// RDAP asks within the bounds of a port-43 exchange: the read time-out as the stall bound,
// the whole exchange's bound for each try, the same answer size.
RdapOptions RdapOptionsFor(const RunSettings& settings, const ExchangeLimits& base) {
    const ExchangeLimits limits = LimitsForTimeout(settings.whoisTimeout, base);
    RdapOptions options;
    options.proxy = settings.socks;
    options.limits.connectTimeoutMs = limits.connectTimeoutMs;
    options.limits.stallTimeoutMs = limits.readTimeoutMs;
    options.limits.totalTimeoutMs = limits.exchangeTimeoutMs;
    options.limits.maxBodyBytes = limits.maxAnswerBytes;
    options.caFile = settings.caFile;
    options.connectTo = settings.connectTo;
    return options;
}

// Both protocols asked: an answer of either is an answer; nobody to ask on either side is
// "no server"; anything else is a failed exchange.
int32_t Combined(int32_t first, int32_t second) {
    if (first == QueryOk || second == QueryOk) return QueryOk;
    if (first == QueryNoServer && second == QueryNoServer) return QueryNoServer;
    return QueryExchangeFailed;
}

} // namespace

TWhoisRequestThread::TWhoisRequestThread(RunRequest request, RunSettings settings,
                                         const TDomainCollection* domains,
                                         const RegistryBlocks* registries,
                                         const MessageTable& messages, RunLog& log,
                                         ResultSink& sink, ExchangeLimits limits)
    : TWhoisRequestThread(std::move(request), std::move(settings),
                          DomainSource([domains] { return domains; }), registries, messages, log,
                          sink, limits) {}

TWhoisRequestThread::TWhoisRequestThread(RunRequest request, RunSettings settings,
                                         DomainSource domains, const RegistryBlocks* registries,
                                         const MessageTable& messages, RunLog& log,
                                         ResultSink& sink, ExchangeLimits limits)
    : request_(std::move(request)), settings_(std::move(settings)),
      domainSource_(std::move(domains)), registries_(registries), messages_(messages), log_(log),
      sink_(sink), abort_(std::make_shared<AbortHandle>()),
      whois_(settings_.socks, LimitsForTimeout(settings_.whoisTimeout, limits), abort_,
             settings_.connectTo),
      rdap_(
          [&] {
              // Each RDAP step is told in the log as it happens.
              RdapOptions options = RdapOptionsFor(settings_, limits);
              options.asking = [this](const std::string& url) {
                  Log(LogInformation, Fmt(messages_.sRdapAsking, url));
              };
              options.redirected = [this](const std::string&, const std::string& to) {
                  Log(LogInformation, Fmt(messages_.sRdapRedirected, to));
              };
              options.waiting = [this](int seconds) {
                  Log(LogInformation, Fmt(messages_.sRdapWaiting, std::to_string(seconds)));
              };
              return options;
          }(),
          abort_),
      thread_([this] { Execute(); }) {}

TWhoisRequestThread::~TWhoisRequestThread() {
    if (thread_.joinable()) thread_.join();
}

void TWhoisRequestThread::Stop() noexcept {
    terminated_.store(true, std::memory_order_release);
    abort_->Abort();
}

void TWhoisRequestThread::Wait() {
    if (thread_.joinable()) thread_.join();
}

std::string TWhoisRequestThread::Fmt(const std::string& text, const std::string& arg) const {
    return Format(text, arg);
}

void TWhoisRequestThread::Log(LogImage image, const std::string& text) {
    // AddLogLine: nothing more is shown once the user has stopped the run.
    if (Terminated()) return;
    log_.AddLogLine(image, text);
}

void TWhoisRequestThread::Execute() {
    // A call out that throws ends that address only: nothing may leave the thread (the
    // process would end) and EndOfRun must still come, or the window never closes.
    const auto process = [this] {
        try {
            ProcessAddress();
        } catch (...) {
        }
    };
    if (request_.updateList.empty()) {
        if (request_.addresses.empty()) request_.addresses.emplace_back(); // an empty address box
        for (std::size_t i = 0; i < request_.addresses.size(); ++i) {
            if (i > 0 && Terminated()) break;
            ResultItem.reset();
            QueryString = request_.addresses[i];
            AsDomain = request_.asDomain;
            ServerName.clear();
            WhoisPrefix.clear();
            IpAddress.clear();
            ReverseName.clear();
            RawAnswer.clear();
            protocols_ = settings_.protocols;
            process();
        }
    } else {
        for (const ResultId id : request_.updateList) {
            if (Terminated()) break;
            std::optional<ResultSink::QueuedEntry> entry;
            try {
                entry = sink_.ReadQueued(id);
            } catch (...) {
            }
            if (!entry) continue; // deleted by an earlier store step's trim: never touched again
            ResultItem = id;
            QueryString = entry->QueryString;
            AsDomain = entry->QueryType == QueryAsDomain;
            ServerName.clear();
            WhoisPrefix.clear();
            IpAddress.clear();
            ReverseName.clear();
            RawAnswer.clear();
            // A refresh asks the protocol that gave the stored answer.
            protocols_ = EqualsIgnoringCase(TrimBlanks(entry->Protocol), "rdap")
                             ? ProtocolChoice::Rdap
                             : ProtocolChoice::Whois;
            process();
        }
    }
    EndRun();
}

void TWhoisRequestThread::ProcessAddress() {
    if (Terminated()) return;
    ErrorCode_ = QueryOk;
    lastFailure_.clear();
    Protocol.clear();
    RdapJson.clear();
    notFound_ = false;
    try {
        if (QueryString.empty()) {
            ErrorCode_ = QueryEmpty;
            Log(LogError, messages_.sQueryEmpty);
            return;
        }
        // A CR or LF would reach the server as a second line: such an address is refused
        // before anything is resolved or sent.
        if (HasControlCharacter(TrimBlanks(QueryString))) {
            ErrorCode_ = QueryEmpty;
            Log(LogError, Fmt(messages_.sQueryControlChar, ShowControlCharacters(QueryString)));
            return;
        }
        if (!PrepareLookupName()) return;
        Log(LogInformation, Fmt(messages_.sStartWhois, QueryString));
        if (LookupName != QueryString) Log(LogInformation, Fmt(messages_.sIdnSentAs, LookupName));
        IpStep();
        if (Terminated()) return;

        if (!IpAddress.empty() && settings_.DetermineReverseName) {
            Log(LogInformation, Fmt(messages_.sDetermineReverseName, IpAddress));
            ReverseName = ResolveReverseName(IpAddress, abort_.get());
            if (Terminated()) return;
            if (!ReverseName.empty())
                Log(LogInformation, Fmt(messages_.sReverseNameDetermined, ReverseName));
            else
                Log(LogError, messages_.sReverseNameNotDetermined);
        }

        if (QueryString.empty()) {
            ErrorCode_ = QueryEmpty;
            Log(LogError, messages_.sQueryEmpty);
            return;
        }
    } catch (const std::exception&) {
        // An unexpected error ends this address as a failure, never as a silent success;
        // the run goes on.
        ErrorCode_ = QueryExchangeFailed;
        FinishQuery();
        return;
    }

    try {
        if (settings_.bUseRating) {
            const bool rdapFirst =
                protocols_ == ProtocolChoice::RdapThenWhois || protocols_ == ProtocolChoice::Rdap;
            const bool both = protocols_ == ProtocolChoice::WhoisThenRdap ||
                              protocols_ == ProtocolChoice::RdapThenWhois;
            ErrorCode_ = rdapFirst ? AskRdapService() : AskZoneServers();
            // A registry's "no record" is an answer of sorts: the other protocol would only
            // say it again.
            if (both && ErrorCode_ != QueryOk && !notFound_ && !Terminated())
                ErrorCode_ = Combined(ErrorCode_, rdapFirst ? AskZoneServers() : AskRdapService());
        } else {
            Servers = nullptr;
            WhoisPrefix.clear();
            if (!Terminated()) ErrorCode_ = QueryServer(settings_.serverBoxText);
        }
    } catch (const std::exception&) {
        // A broken zone mask or a bad language text: the address ends without an answer.
        if (ErrorCode_ == QueryOk) ErrorCode_ = QueryExchangeFailed;
    }
    FinishQuery();
}

// Classifies the address and finds the name the servers get. An IDN goes to the zone
// look-up, the resolver and the servers as A-labels while the user keeps seeing it as typed;
// one that cannot be converted ends the address with the reason, before anything is
// resolved or sent. False when the address ended.
bool TWhoisRequestThread::PrepareLookupName() {
    Query = ClassifyQuery(QueryString);
    LookupName = QueryString;
    if (Query.kind != QueryKind::Name || !Query.nonAscii) return true;
    const IdnResult idn = ToLookupName(Query.canonical);
    if (!idn.ok()) {
        ErrorCode_ = QueryEmpty;
        Log(LogError, Fmt(messages_.sIdnInvalid, QueryString + " (" + idn.error + ")"));
        return false;
    }
    LookupName = idn.name;
    return true;
}

// Numbers are always queried as such, whatever "Query as domain" says, and only a name is
// ever given to the resolver: an address is its own IpAddress, a network or an AS number has
// none.
void TWhoisRequestThread::IpStep() {
    switch (Query.kind) {
    case QueryKind::IPv4Address:
        AsDomain = false;
        IpAddress = QueryString;
        return;
    case QueryKind::IPv6Address:
        AsDomain = false;
        IpAddress = Query.canonical;
        return;
    case QueryKind::ASNumber:
    case QueryKind::IPv4Network:
    case QueryKind::IPv6Network:
        AsDomain = false;
        return;
    case QueryKind::Empty:
    case QueryKind::Name:
        break;
    }
    if (!settings_.DetermineIpAddress && AsDomain) return;
    Log(LogInformation, Fmt(messages_.sDetermineIP, QueryString));
    IpAddress = ResolveAddress(LookupName, abort_.get());
    if (Terminated()) return;
    if (!IpAddress.empty())
        Log(LogInformation, Fmt(messages_.sIPDetermined, IpAddress));
    else
        Log(LogError, messages_.sIPNoDetermined);
    if (!AsDomain) {
        // The address is what is sent and stored from here on.
        QueryString = IpAddress;
        Query = ClassifyQuery(IpAddress);
        LookupName = IpAddress;
    }
}

// The zone's port-43 servers in the run's order, until one answers.
int32_t TWhoisRequestThread::AskZoneServers() {
    Servers = nullptr;
    if (!domains_) domains_ = domainSource_ ? domainSource_() : nullptr;
    if (*domains_) Servers = (*domains_)->FindServers(ZoneLookupText(Query.kind, LookupName));
    if (!Servers || Servers->Count() == 0) {
        Log(LogError, Fmt(messages_.sWhoisNotFind, QueryString));
        return QueryNoServer;
    }
    int32_t code = QueryOk; // stopped before the first server: nothing is stored
    for (const TWhoisServerItem* server : AskingOrder(*Servers, registries_, Query)) {
        if (Terminated()) break;
        WhoisPrefix = server->WhoisPrefix;
        code = QueryServer(server->Address);
        if (code == QueryOk || notFound_) break;
    }
    return code;
}

// The bootstrap's service for the address, its base addresses in turn until one answers.
int32_t TWhoisRequestThread::AskRdapService() {
    const auto urls = RdapServiceUrls(registries_, Query, LookupName);
    if (urls.empty()) {
        Log(LogError, Fmt(messages_.sRdapNoService, QueryString));
        return QueryNoServer;
    }
    Servers = nullptr; // a registrar's record is followed whatever the zone lists
    WhoisPrefix.clear();
    int32_t code = QueryOk;
    for (const std::string& url : urls) {
        if (Terminated()) break;
        code = QueryServer(url);
        if (code == QueryOk || notFound_) break;
    }
    return code;
}

bool TWhoisRequestThread::SpeaksRdap(const ServerAddress& server) const {
    // With RDAP turned off every server is asked over port 43 as it always was, which
    // refuses the schemes it does not speak.
    return protocols_ != ProtocolChoice::Whois && RdapTransport::Speaks(server.scheme);
}

Transport& TWhoisRequestThread::TransportFor(const ServerAddress& server) {
    if (SpeaksRdap(server)) return rdap_;
    return whois_;
}

// The answer of one server; a failure propagates and the server counts as failed. Most
// failures are told only by the end line; a bound that struck or a scheme no transport
// speaks is said, or the user would not know why a server was given up.
std::string TWhoisRequestThread::Ask(const std::string& serverText, const ServerAddress& server,
                                     const Question& question) {
    try {
        return TransportFor(server).Ask(server, question);
    } catch (const TransportError& e) {
        lastFailure_.clear();
        if (SpeaksRdap(server)) {
            // An RDAP failure names its cause (an HTTP status, a body that is no RDAP
            // object, the time-out, a refused redirect) in the log itself.
            if (e.kind() == TransportFailure::NotFound) {
                notFound_ = true;
                Log(LogError, Fmt(messages_.sRdapNotFound, QueryString));
            } else if (e.kind() != TransportFailure::Aborted) {
                Log(LogError, Fmt(messages_.sRdapFailed, e.what()));
            }
            throw;
        }
        if (e.kind() == TransportFailure::OverTime)
            Log(LogError,
                Fmt(messages_.sExchangeTimedOut, server.host + ":" + std::to_string(server.port)));
        else if (e.kind() == TransportFailure::Unsupported)
            Log(LogError, Fmt(messages_.sSchemeNotSpoken, serverText));
        else if (e.kind() == TransportFailure::Failed)
            lastFailure_ = ExplainFailure(messages_, e.reason(), serverText);
        throw;
    }
}

int32_t TWhoisRequestThread::QueryServer(const std::string& serverText) {
    if (Terminated()) return QueryExchangeFailed;
    if (serverText.empty()) {
        Log(LogError, Fmt(messages_.sEmptyWhois, serverText));
        return QueryNoServer;
    }
    try {
        const auto server = SplitServerAddress(serverText);
        if (SpeaksRdap(server)) {
            Log(LogInformation, Fmt(messages_.sRdapService, serverText));
            const std::string& query = IsNumberKind(Query.kind) ? Query.canonical : LookupName;
            std::string json = Ask(serverText, server, Question{query, {}});
            TakeRdapAnswer(std::move(json));
            return QueryOk;
        }
        Log(LogInformation, Fmt(messages_.sQueryServer, serverText));
        std::string answer =
            Ask(serverText, server, QuestionFor(server.host, WhoisPrefix, Query, LookupName));
        std::string answeredBy = server.host;

        if (const auto referral = TransportFor(server).Referral(answer, Query.kind)) {
            Log(LogInformation, Fmt(messages_.sQueryServer, *referral));
            if (Terminated()) return QueryOk;
            const auto next = SplitServerAddress(*referral);
            bool follow = !next.host.empty(); // an empty referral names nobody to ask
            if (follow && !settings_.bAsDomain) {
                // Only to a server of the zone; with the server named by the user there is
                // no zone list, so nothing is followed.
                follow = false;
                for (int i = 0; Servers && i < Servers->Count(); ++i)
                    follow = follow || Servers->Items(i).Address == next.host;
            }
            if (follow) {
                // Made for the referral's host, without the listed server's prefix.
                answer = Ask(*referral, next, QuestionFor(next.host, {}, Query, LookupName));
                answeredBy = next.host;
            }
        }
        ServerName = answeredBy;
        if (!answer.empty()) RawAnswer = std::move(answer);
        return QueryOk;
    } catch (const std::exception&) {
        return QueryExchangeFailed;
    }
}

// Keeps an RDAP answer, with the registrar's record it links to when that can be read:
// both JSON documents as they came, both as text, registry first.
void TWhoisRequestThread::TakeRdapAnswer(std::string json) {
    std::string answeredBy = rdap_.AnsweredHost();
    std::string text = RenderRdap(json);
    if (const auto link = rdap_.Referral(json, Query.kind); link && !Terminated()) {
        Log(LogInformation, Fmt(messages_.sRdapRegistrar, *link));
        try {
            std::string registrar = rdap_.Ask(SplitServerAddress(*link), Question{LookupName, {}});
            answeredBy = rdap_.AnsweredHost();
            text += "\n" + RenderRdap(registrar);
            json = "[\n" + json + ",\n" + registrar + "\n]\n";
        } catch (const TransportError& e) {
            if (e.kind() != TransportFailure::Aborted)
                Log(LogError, Fmt(messages_.sRdapRegistrarFailed, e.what()));
        }
    }
    ServerName = std::move(answeredBy);
    RawAnswer = std::move(text);
    RdapJson = std::move(json);
    Protocol = "rdap";
}

void TWhoisRequestThread::FinishQuery() {
    LogImage image = LogError;
    std::string text;
    try {
        text = Fmt(messages_.sStopWhoisFail, QueryString);
    } catch (const std::exception&) {
        text = messages_.sStopWhoisFail;
    }
    if (ErrorCode_ == QueryOk) {
        if (Terminated()) return;
        try {
            StoreRequest request;
            request.QueryString = QueryString;
            request.ServerName = ServerName;
            request.RawAnswer = std::move(RawAnswer); // answers run to megabytes
            request.IpAddress = IpAddress;
            request.ReverseName = ReverseName;
            request.Protocol = Protocol;
            request.RdapJson = std::move(RdapJson);
            request.AsDomain = AsDomain;
            request.Target = ResultItem;
            ResultItem = sink_.StoreAnswer(request);
            image = LogInformation;
            try {
                text = Fmt(messages_.sStopWhoisSucces, QueryString);
            } catch (const std::exception&) {
                text = messages_.sStopWhoisSucces;
            }
        } catch (const std::exception&) {
            // The store step failed: the end line stays the failure line.
        }
    }
    if (ErrorCode_ == QueryExchangeFailed && !lastFailure_.empty() && !Terminated())
        log_.ExchangeFailed(lastFailure_);
    Log(image, text);
}

void TWhoisRequestThread::EndRun() {
    const int32_t code = ErrorCode_;
    errorCodeOut_.store(code, std::memory_order_release);
    const bool close = (code == QueryOk && settings_.PropWNDQuery == 0) ||
                       settings_.PropWNDQuery == 1 || Terminated();
    try {
        log_.EndOfRun(close);
    } catch (const std::exception&) {
    }
}

} // namespace tesseron
