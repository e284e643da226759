// Opening the server browser (tree built and shown) against a plain QTreeWidget filled
// with the same zones and servers, both measured in the same run (offscreen).
#include "serverdb/ServerListWalks.h"
#include "serverdb/uDomainList.h"
#include "serverdb/udlgShowServers.h"
#include "support/FakeDesktop.h"

#include <QApplication>
#include <QDialog>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <random>

namespace {

using namespace tesseron;

constexpr int kGeneratedZones = 10000;

// Index 0: the shipped server list; 1: a generated list of 10,000 zones in shuffled order.
const TDomainCollection& List(int which) {
    static const auto shipped = [] {
        auto domains = std::make_unique<TDomainCollection>();
        domains->LoadFromFile(
            (std::filesystem::path(TESSERON_SOURCE_DIR) / "data/whois.xml").string());
        return domains;
    }();
    static const auto generated = [] {
        auto domains = std::make_unique<TDomainCollection>();
        std::vector<int> order(kGeneratedZones);
        for (int i = 0; i < kGeneratedZones; ++i)
            order[i] = i;
        std::shuffle(order.begin(), order.end(), std::mt19937(42));
        for (int n : order) {
            TDomainItem& zone = domains->Add();
            zone.Suffix = ".zone" + std::to_string(n);
            zone.Description = "Generated zone number " + std::to_string(n);
            for (int s = 0; s < 1 + n % 2; ++s) {
                TWhoisServerItem& server = zone.WhoisServers.Add();
                server.Name = "whois" + std::to_string(s) + ".zone" + std::to_string(n);
                server.Address = server.Name;
            }
        }
        return domains;
    }();
    return which == 0 ? *shipped : *generated;
}

QString Qt8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// The same nodes the browser shows, added the ordinary way, unsorted, without icons.
void FillPlain(QTreeWidgetItem* parent, const TDomainCollection& zones) {
    for (int i = 0; i < zones.Count(); ++i) {
        auto* node = new QTreeWidgetItem(
            parent, QStringList{Qt8(zones[i].Suffix) + " - " + Qt8(zones[i].Description)});
        FillPlain(node, zones[i].SubDomains);
        for (int s = 0; s < zones[i].WhoisServers.Count(); ++s)
            new QTreeWidgetItem(node, QStringList{Qt8(zones[i].WhoisServers[s].Name)});
    }
}

// Showing is timed (the first paint included); tearing down is not.
void ShowThenDestroyUntimed(benchmark::State& state, std::unique_ptr<QDialog> dialog) {
    dialog->show();
    QCoreApplication::processEvents();
    state.PauseTiming();
    dialog.reset();
    state.ResumeTiming();
}

void BM_PlainTree(benchmark::State& state) {
    const TDomainCollection& domains = List(int(state.range(0)));
    for (auto _ : state) {
        auto dialog = std::make_unique<QDialog>();
        auto* tree = new QTreeWidget(dialog.get()); // owned by the dialog
        auto* layout = new QVBoxLayout(dialog.get());
        layout->addWidget(tree);
        FillPlain(tree->invisibleRootItem(), domains);
        dialog->resize(560, 386);
        ShowThenDestroyUntimed(state, std::move(dialog));
    }
    state.counters["zones"] = CountTotals(domains).zones;
}

void BM_ShowServers(benchmark::State& state) {
    const TDomainCollection& domains = List(int(state.range(0)));
    test::FakeDesktop desktop;
    for (auto _ : state) {
        ShowThenDestroyUntimed(state, std::make_unique<TdlgShowServers>(nullptr, domains, desktop));
    }
    state.counters["zones"] = CountTotals(domains).zones;
}

BENCHMARK(BM_PlainTree)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ShowServers)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Keeps each run's real time so the ratios come out of the same run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs)
            times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform warns on every dialog shown; keep the table readable.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type >= QtCriticalMsg) std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // Names carry the argument and options ("BM_ShowServers/1/min_time:1.000").
    const auto time = [&](const std::string& prefix) {
        const auto it = reporter.times.lower_bound(prefix);
        return it != reporter.times.end() && it->first.rfind(prefix, 0) == 0 ? it->second : 0.0;
    };
    for (const char* arg : {"/0", "/1"}) {
        const double ours = time(std::string("BM_ShowServers") + arg);
        const double bare = time(std::string("BM_PlainTree") + arg);
        if (ours > 0 && bare > 0)
            std::printf("%s list: browser / plain tree = %.2f\n",
                        arg[1] == '0' ? "shipped" : "10,000-zone", ours / bare);
    }
    benchmark::Shutdown();
    return 0;
}
