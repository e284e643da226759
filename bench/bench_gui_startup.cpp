// Start-up of the main window and the rebuild of its results list, each against a bare
// QMainWindow with a 1,000-row QTreeWidget measured in the same run (offscreen).
#include "mainwin/ResultsView.h"
#include "mainwin/main.h"
#include "support/FakeDesktop.h"

#include <QApplication>
#include <QMainWindow>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <utility>

namespace {

namespace fs = std::filesystem;
using namespace tesseron;

constexpr int kResults = 1000;
constexpr std::size_t kAnswerBytes = 20 * 1024;

// A program folder with the shipped server list and languages and 1,000 stored results.
struct Folder {
    fs::path dir;
    ProgramPaths paths;

    Folder() {
        std::string templ = (fs::temp_directory_path() / "tesseron-bench-XXXXXX").string();
        if (!mkdtemp(templ.data())) std::abort();
        dir = templ;
        paths = ProgramPaths::Locate(dir / "tesseron", ProgramPaths::Environment{}, true);
        fs::copy(fs::path(TESSERON_SOURCE_DIR) / "data/languages", dir / "languages");
        fs::copy_file(fs::path(TESSERON_SOURCE_DIR) / "data/whois.xml", dir / "whois.xml");
        TWhoisResultCollection results;
        std::string answer;
        while (answer.size() < kAnswerBytes)
            answer += "Registrar WHOIS Server: whois.example.test\r\nStatus: active\r\n";
        answer.resize(kAnswerBytes);
        for (int i = 0; i < kResults; ++i) {
            auto& item = results.Add();
            item.QueryString = "domain" + std::to_string(i) + ".test";
            item.ServerName = "whois.example.test";
            item.QueryDate = "01.02.2024 10:11:12";
            item.RawAnswer = answer;
        }
        results.SaveToFile(paths.ResultsFile().string());
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

Folder& Shared() {
    static Folder folder;
    return folder;
}

std::unique_ptr<TTesseronForm> OpenForm() {
    TSettings* settings = new TSettings; // lives as long as the process, like the real one
    static test::FakeDesktop desktop;    // no notification area, nothing modal
    auto form = std::make_unique<TTesseronForm>(Shared().paths, *settings, desktop);
    form->LoadLanguage();
    for (const QString& m : std::exchange(desktop.errors, {}))
        std::fprintf(stderr, "%s\n", qPrintable(m));
    return form;
}

void FillTree(QTreeWidget& tree) {
    QList<QTreeWidgetItem*> rows;
    for (int i = kResults - 1; i >= 0; --i)
        rows << new QTreeWidgetItem(QStringList{QStringLiteral("domain%1.test").arg(i),
                                                QStringLiteral("whois.example.test"),
                                                QStringLiteral("01.02.2024 10:11:12")});
    tree.addTopLevelItems(rows); // the tree owns them
}

void BM_StartupBare(benchmark::State& state) {
    for (auto _ : state) {
        auto window = std::make_unique<QMainWindow>();
        auto* tree = new QTreeWidget(window.get());
        tree->setColumnCount(3);
        FillTree(*tree);
        window->setCentralWidget(tree);
        window->resize(722, 564);
        window->show();
        QCoreApplication::processEvents();
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
}

void BM_StartupTesseron(benchmark::State& state) {
    Shared();
    for (auto _ : state) {
        auto form = OpenForm();
        form->show();
        QCoreApplication::processEvents();
        state.PauseTiming();
        form.reset(); // writes the results file back
        state.ResumeTiming();
    }
}

void BM_RebuildBare(benchmark::State& state) {
    QMainWindow window;
    auto* tree = new QTreeWidget(&window);
    tree->setColumnCount(3);
    window.setCentralWidget(tree);
    window.show();
    for (auto _ : state) {
        tree->clear();
        FillTree(*tree);
        QCoreApplication::processEvents();
    }
}

void BM_RebuildTesseron(benchmark::State& state) {
    auto form = OpenForm();
    form->show();
    for (auto _ : state) {
        form->View().LoadResultToListView();
        QCoreApplication::processEvents();
    }
}

// The two files start-up reads, for the breakdown.
void BM_LoadResultsFile(benchmark::State& state) {
    for (auto _ : state) {
        TWhoisResultCollection results;
        results.LoadFromFile(Shared().paths.ResultsFile().string());
        benchmark::DoNotOptimize(results.Count());
    }
}

void BM_LoadServerList(benchmark::State& state) {
    for (auto _ : state) {
        TDomainCollection domains;
        domains.LoadFromFile(Shared().paths.ServerListFile().string());
        benchmark::DoNotOptimize(domains.Count());
    }
}

BENCHMARK(BM_LoadResultsFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadServerList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartupBare)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_StartupTesseron)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RebuildBare)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_RebuildTesseron)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Keeps each benchmark's mean real time so the ratios come out of the same run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs)
            times[run.benchmark_name().substr(0, run.benchmark_name().find('/'))] =
                run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto ratio = [&](const char* ours, const char* bare) {
        const auto a = reporter.times.find(ours), b = reporter.times.find(bare);
        if (a == reporter.times.end() || b == reporter.times.end() || b->second <= 0) return;
        std::printf("%s / %s = %.2f\n", ours, bare, a->second / b->second);
    };
    ratio("BM_StartupTesseron", "BM_StartupBare");
    ratio("BM_RebuildTesseron", "BM_RebuildBare");
    benchmark::Shutdown();
    return 0;
}
