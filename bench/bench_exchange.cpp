// Reading a 32 MiB answer over loopback: the WHOIS client against a plain blocking read
// loop, both served by the same kind of server in the same run. Prints the client's
// throughput as a share of the plain loop's.

#include "AnswerServer.h"
#include "query/WhoisExchange.h"

#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr std::size_t kAnswerBytes = std::size_t{32} << 20;

std::string BulkAnswer() {
    std::string answer(kAnswerBytes, '\0');
    for (std::size_t i = 0; i < answer.size(); ++i)
        answer[i] = static_cast<char>("0123456789abcdef\n"[i % 17]);
    return answer;
}

tesseron::bench::AnswerServer& Server() {
    static tesseron::bench::AnswerServer server(BulkAnswer());
    return server;
}

void BM_WhoisClient(benchmark::State& state) {
    tesseron::WhoisClient client({}, {});
    for (auto _ : state) {
        std::string answer = client.WhoisExchange("127.0.0.1", Server().port(), "bench");
        if (answer.size() != kAnswerBytes) state.SkipWithError("short answer");
        benchmark::DoNotOptimize(answer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kAnswerBytes));
}

// The reference: connect, send the query, recv() into a 64 KiB buffer appended to a
// string until the server closes. `presized` reserves the whole answer up front, which a
// client cannot do as it does not know the size: it shows the cost of growing the answer,
// which dominates on machines where touching fresh memory is expensive.
void PlainReadLoop(benchmark::State& state, bool presized) {
    for (auto _ : state) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<uint16_t>(Server().port()));
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
            state.SkipWithError("connect failed");
            close(fd);
            break;
        }
        send(fd, "bench\r\n", 7, MSG_NOSIGNAL);
        std::string answer;
        if (presized) answer.reserve(kAnswerBytes);
        char buffer[64 * 1024];
        for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
            answer.append(buffer, static_cast<std::size_t>(n));
        close(fd);
        if (answer.size() != kAnswerBytes) state.SkipWithError("short answer");
        benchmark::DoNotOptimize(answer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kAnswerBytes));
}

void BM_PlainReadLoop(benchmark::State& state) {
    PlainReadLoop(state, false);
}
void BM_PlainReadLoopPresized(benchmark::State& state) {
    PlainReadLoop(state, true);
}

BENCHMARK(BM_PlainReadLoop)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PlainReadLoopPresized)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_WhoisClient)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Keeps each benchmark's throughput so the ratio can be printed after the run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end() && run.run_type == Run::RT_Iteration)
                rates[run.benchmark_name()] = it->second.value;
        }
    }
    std::map<std::string, double> rates;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double plain = 0, presized = 0, client = 0;
    for (const auto& [name, rate] : reporter.rates) {
        if (name.rfind("BM_PlainReadLoopPresized", 0) == 0)
            presized = rate;
        else if (name.rfind("BM_PlainReadLoop", 0) == 0)
            plain = rate;
        else if (name.rfind("BM_WhoisClient", 0) == 0)
            client = rate;
    }
    if (plain > 0 && presized > 0 && client > 0)
        std::printf("WhoisClient: %.0f MB/s; plain read loop: %.0f MB/s (ratio %.2f); "
                    "plain read loop into a presized string: %.0f MB/s (ratio %.2f)\n",
                    client / 1e6, plain / 1e6, client / plain, presized / 1e6, client / presized);
    benchmark::Shutdown();
    return 0;
}
