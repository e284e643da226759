// One run that asks RDAP only, started as a child by the hostile-server tests so that its
// time and largest resident size are its own. The zone "test" is served by
// http://rdap.hostile.test/, whose connections go to 127.0.0.1:PORT.
//   hostile_rdap_probe PORT TIMEOUT_MS QUERY
// The answer goes to standard output, the log to standard error ("I "/"E " as the command
// line prints it), then the size of the stored JSON as laid out for "Show RDAP JSON". The
// exit code is the command line's: 0 an answer, 1 failed, 2 no service.
#include "locale/Language.h"
#include "query/RdapRender.h"
#include "query/uWhoisRequestThread.h"
#include "serverdb/RegistryBlocks.h"

#include <cstdio>
#include <iostream>
#include <string>

using namespace tesseron;

namespace {

class Terminal final : public RunLog, public ResultSink {
public:
    void AddLogLine(LogImage image, const std::string& text) override {
        std::cerr << (image == LogError ? "E " : "I ") << text << '\n';
    }
    void EndOfRun(bool) override {}
    std::optional<QueuedEntry> ReadQueued(ResultId) override { return std::nullopt; }
    std::optional<ResultId> StoreAnswer(const StoreRequest& request) override {
        std::fwrite(request.RawAnswer.data(), 1, request.RawAnswer.size(), stdout);
        std::fflush(stdout);
        std::cerr << "pretty JSON: " << PrettyRdapJson(request.RdapJson).size() << " bytes\n";
        return std::nullopt;
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: hostile_rdap_probe PORT TIMEOUT_MS QUERY\n";
        return 64;
    }
    RegistryBlocks blocks;
    const std::string base = "http://rdap.hostile.test/";
    if (!blocks.LoadDomains(R"({"services":[[["test"],[")" + base + "\"]]]}").empty()) return 70;
    RunSettings settings;
    settings.protocols = ProtocolChoice::Rdap;
    settings.DetermineIpAddress = false;
    settings.DetermineReverseName = false;
    settings.whoisTimeout = std::stoi(argv[2]);
    settings.connectTo.push_back({"rdap.hostile.test", 0, "127.0.0.1", std::stoi(argv[1])});
    MessageTable messages;
    messages.sStartWhois = "Query %s started";
    messages.sStopWhoisSucces = "Query %s finished";
    messages.sStopWhoisFail = "Query %s failed: no server answered";
    Terminal terminal;
    TWhoisRequestThread run({{argv[3]}, {}, true}, settings, nullptr, &blocks, messages, terminal,
                            terminal);
    run.Wait();
    switch (run.ErrorCode()) {
    case QueryOk:
        return 0;
    case QueryNoServer:
        return 2;
    default:
        return 1;
    }
}
