// Whole-process timings of one RDAP query: tesseron-cli against curl fetching the same
// address from the same loopback HTTPS server, with the same certificate. tesseron-cli
// reads the shipped bootstrap files and finds the service of the name itself; both send
// the service's host to the loopback server with a connect-to entry. Prints medians and
// ratios measured in the same run.
#include "desktop/UniqueFd.h"
#include "support/Process.h"
#include "support/ScriptedHttpServer.h"
#include "support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

using namespace tesseron::test;

// Runs a program with its output thrown away; returns its wall time in milliseconds.
double TimeRun(const std::vector<std::string>& args) {
    const tesseron::UniqueFd null(open("/dev/null", O_WRONLY | O_CLOEXEC));
    Launch launch;
    launch.argv = args;
    launch.out = null.get();
    launch.err = null.get();
    launch.env = {"http_proxy=", "https_proxy=", "HTTPS_PROXY=", "ALL_PROXY=", "all_proxy="};
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    try {
        waitpid(Spawn(launch), &status, 0);
    } catch (const std::exception&) {
        std::fprintf(stderr, "cannot start %s\n", args[0].c_str());
        std::exit(1);
    }
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", args[0].c_str());
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(end - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : TESSERON_BINARY_DIR;
    const std::string cli = dir + "/tesseron-cli";
    const int runs = 21;
    // The shipped dns.json names these services for .com and for .ads, a zone without a
    // port-43 server; their hosts go to loopback.
    const std::string host = "rdap.verisign.com", path = "/com/v1/domain/example.com";
    const std::string adsHost = "pubapi.registry.google", adsPath = "/rdap/domain/example.ads";
    const Reply answer{200, ReadFile(TESSERON_SOURCE_DIR "/tests/query/rdap/domain-registrar.json"),
                       "Content-Type: application/rdap+json\r\n"};
    ScriptedHttpServer server({{path, {answer}}, {adsPath, {answer}}}, true, {host, adsHost});
    const std::string port = std::to_string(server.port());
    const std::string ca = server.caFile().string();

    TempDir temp;
    const std::string noLookups = "[Defaults]\nDetermineIpAddress=0\nDetermineReverseName=0\n";
    const auto settings = [&](int rdapMode) {
        return temp
            .Write("mode" + std::to_string(rdapMode) + ".ini",
                   noLookups + "RdapMode=" + std::to_string(rdapMode) + "\n")
            .string();
    };

    const std::vector<std::string> curl = {"curl",
                                           "-q",
                                           "-sSf",
                                           "-o",
                                           "/dev/null",
                                           "--noproxy",
                                           "*",
                                           "--cacert",
                                           ca,
                                           "--connect-to",
                                           host + ":443:127.0.0.1:" + port,
                                           "-H",
                                           "Accept: application/rdap+json",
                                           "https://" + host + path};
    const auto cliWith = [&](int rdapMode, const char* protocol, const char* name) {
        std::vector<std::string> args{
            cli, "--settings", settings(rdapMode), "--protocol", protocol, "--ca-file", ca};
        for (const auto& h : {host, adsHost})
            args.insert(args.end(), {"--connect-to", h + ":443:127.0.0.1:" + port});
        args.push_back(name);
        return args;
    };
    const auto cliRdap = cliWith(0, "rdap", "example.com");
    const auto cliFirst = cliWith(2, "auto", "example.com");
    // Port 43 first: the server list is read and names no server, then RDAP is asked.
    const auto cliNoZone = cliWith(1, "auto", "example.ads");
    const std::vector<std::string> cliVersion = {cli, "--version"};

    for (const auto* warm : {&curl, &cliRdap, &cliFirst, &cliNoZone})
        TimeRun(*warm); // the page cache, and a check that each one succeeds
    std::vector<double> tCurl, tRdap, tFirst, tNoZone, tVersion;
    for (int i = 0; i < runs; ++i) {
        tCurl.push_back(TimeRun(curl));
        tRdap.push_back(TimeRun(cliRdap));
        tFirst.push_back(TimeRun(cliFirst));
        tNoZone.push_back(TimeRun(cliNoZone));
        tVersion.push_back(TimeRun(cliVersion));
    }
    const double mCurl = Median(tCurl);
    const auto row = [&](const char* what, const std::vector<double>& times) {
        std::printf("  %-50s %8.2f ms   ratio %.2f\n", what, Median(times), Median(times) / mCurl);
    };
    std::printf("one RDAP query over HTTPS on loopback, whole process (median of %d):\n", runs);
    std::printf("  %-50s %8.2f ms\n", "curl, the same address", mCurl);
    row("tesseron-cli --protocol rdap", tRdap);
    row("tesseron-cli, RdapMode 2 (RDAP first)", tFirst);
    row("tesseron-cli, RdapMode 1, .ads (reads whois.xml)", tNoZone);
    row("tesseron-cli --version (start-up alone)", tVersion);
    return 0;
}
