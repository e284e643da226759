// Results file: saving and loading 1,000 results with 20 KB answers (about 20 MB), each
// against `xmllint --noout` on the same saved file, measured in the same run.
#include "desktop/UniqueFd.h"
#include "serverdb/ResultsFile.h"
#include "serverdb/uWhoisResultList.h"
#include "support/Process.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace tesseron;

namespace {

// About 20 KB of text shaped like a registry answer: key/value lines, a notice with URLs
// and markup characters, and a long terms-of-use block. Every third answer has CRLF lines.
std::string MakeAnswer(int n, std::mt19937& rng) {
    const std::string eol = n % 3 == 0 ? "\r\n" : "\n";
    const std::string domain = "EXAMPLE" + std::to_string(n) + ".COM";
    std::string a;
    a += "   Domain Name: " + domain + eol;
    a += "   Registry Domain ID: " + std::to_string(rng()) + "_DOMAIN_COM-VRSN" + eol;
    a += "   Registrar WHOIS Server: whois.registrar.example" + eol;
    a += "   Registrar URL: http://www.registrar.example" + eol;
    a += "   Updated Date: 2024-0" + std::to_string(1 + n % 9) + "-14T07:01:34Z" + eol;
    a += "   Creation Date: 1995-08-14T04:00:00Z" + eol;
    a += "   Registry Expiry Date: 2025-08-13T04:00:00Z" + eol;
    a += "   Registrar: Example Registrar, Inc." + eol;
    a += "   Registrar Abuse Contact Email: abuse@registrar.example" + eol;
    a += "   Domain Status: clientDeleteProhibited https://icann.org/epp#clientDeleteProhibited" +
         eol;
    for (int k = 1; k <= 4; ++k)
        a += "   Name Server: NS" + std::to_string(k) + ".EXAMPLE-DNS.NET" + eol;
    a += "   DNSSEC: unsigned" + eol;
    a += ">>> Last update of whois database: 2024-05-01T10:11:12Z <<<" + eol + eol;
    a += "NOTICE: The expiration date displayed in this record is the date the registrar's "
         "sponsorship of the domain name registration in the registry is currently set to "
         "expire. For more information see <https://www.icann.org/resources?a=1&b=2>." +
         eol + eol;
    static const char* const kWords[] = {
        "registry",   "data",     "Whois",       "information", "purposes", "record",
        "accuracy",   "query",    "guarantee",   "lawful",      "by",       "submitting",
        "you",        "agree",    "to",          "these",       "terms",    "of",
        "use",        "the",      "high-volume", "automated",   "and",      "electronic",
        "processes",  "database", "reserve",     "right",       "modify",   "at",
        "any",        "time",     "solely",      "obtain",      "assist",   "persons",
        "determining"};
    int column = 0;
    while (a.size() < 20 * 1024) {
        const std::string word = kWords[rng() % std::size(kWords)];
        if (column + word.size() > 78) {
            a += eol;
            column = 0;
        } else if (column > 0) {
            a += ' ';
            ++column;
        }
        a += word;
        column += static_cast<int>(word.size());
    }
    return a + eol;
}

void MakeResults(TWhoisResultCollection& results) {
    std::mt19937 rng(7);
    for (int i = 0; i < 1000; ++i) {
        TWhoisResultItem& r = results.Add();
        r.QueryString = "example" + std::to_string(i) + ".com";
        r.ServerName = "whois.verisign-grs.com";
        r.QueryDate = "05/01/24 10:11:12";
        r.RawAnswer = MakeAnswer(i, rng);
        r.QueryType = i % 5 == 0 ? QueryAsAddress : QueryAsDomain;
        r.IpAddress = "192.0.2." + std::to_string(i % 250);
        r.ReverseName = "host" + std::to_string(i) + ".example.net";
    }
}

std::string g_path;

void BM_SaveToFile(benchmark::State& state, TWhoisResultCollection* results) {
    for (auto _ : state)
        results->SaveToFile(g_path);
}

void BM_FormatResultsFile(benchmark::State& state, TWhoisResultCollection* results) {
    for (auto _ : state)
        benchmark::DoNotOptimize(FormatResultsFile(*results));
}

void BM_LoadFromFile(benchmark::State& state) {
    for (auto _ : state) {
        TWhoisResultCollection results;
        results.LoadFromFile(g_path);
        if (results.Count() != 1000) state.SkipWithError("wrong number of results loaded");
    }
}

void BM_Xmllint(benchmark::State& state) {
    const tesseron::UniqueFd null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
    tesseron::test::Launch launch;
    launch.argv = {"xmllint", "--noout", g_path};
    launch.out = null.get();
    launch.err = null.get();
    for (auto _ : state) {
        int status = 0;
        pid_t pid = -1;
        try {
            pid = tesseron::test::Spawn(launch);
        } catch (const std::exception&) {
        }
        if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            state.SkipWithError("xmllint failed or rejected the file");
            break;
        }
    }
}

// Keeps each run's real time per iteration so that main() can print the ratios.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run>& runs) override {
        // With --benchmark_repetitions the fastest run counts: the machine may be shared.
        for (const auto& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred) continue;
            const double s =
                r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
            const auto [it, added] = seconds.emplace(r.benchmark_name(), s);
            if (!added && s < it->second) it->second = s;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

void PrintRatio(const RecordingReporter& rep, const std::string& ours) {
    const auto a = rep.seconds.find(ours), b = rep.seconds.find("Xmllint");
    if (a == rep.seconds.end() || b == rep.seconds.end() || b->second <= 0) return;
    std::printf("%-20s %9.2f ms  xmllint --noout %9.2f ms  ratio %.2f\n", ours.c_str(),
                a->second * 1e3, b->second * 1e3, a->second / b->second);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::string dir = (std::filesystem::temp_directory_path() / "bench-results-XXXXXX").string();
    if (!mkdtemp(dir.data())) return 1;
    g_path = dir + "/whois_result.xml";

    TWhoisResultCollection results;
    MakeResults(results);
    results.SaveToFile(g_path);
    std::printf("results file: %.1f MB\n",
                static_cast<double>(std::filesystem::file_size(g_path)) / 1e6);

    benchmark::RegisterBenchmark("SaveToFile", BM_SaveToFile, &results)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("FormatResultsFile", BM_FormatResultsFile, &results)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("LoadFromFile", BM_LoadFromFile)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Xmllint", BM_Xmllint)->Unit(benchmark::kMillisecond);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintRatio(reporter, "SaveToFile");
    PrintRatio(reporter, "FormatResultsFile");
    PrintRatio(reporter, "LoadFromFile");

    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
