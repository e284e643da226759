// Language loading: LoadLanguage with the shipped english.lng (copied to a temporary folder)
// against simply reading the file's bytes, measured in the same run.
//   LoadLanguage/select: a new language file is selected (start-up, a language change):
//                        the file is checked for normalisation, then every text is read.
//   LoadLanguage/again:  the same file once more (the path is unchanged, no check).
//   ReadBytes:           the whole file read into memory, the reference.
// Target: LoadLanguage under 5 ms.
#include "desktop/AtomicFile.h"
#include "desktop/ProgramPaths.h"
#include "locale/LangChanger.h"
#include "locale/Language.h"
#include "mainwin/Settings.h"

#include "RecordingReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>

using namespace tesseron;

namespace {

// A copy of data/languages/english.lng in a temporary program folder, removed at exit.
struct TempProgramDir {
    std::filesystem::path dir;
    TempProgramDir() {
        std::string templ =
            (std::filesystem::temp_directory_path() / "bench-language-XXXXXX").string();
        if (!mkdtemp(templ.data())) throw std::runtime_error("cannot create a temporary folder");
        dir = templ;
        std::filesystem::create_directories(dir / "languages");
        std::filesystem::copy_file(std::filesystem::path(TESSERON_SOURCE_DIR) / "data" /
                                       "languages" / "english.lng",
                                   dir / "languages" / "english.lng");
    }
    ~TempProgramDir() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    ProgramPaths Paths() const { return {dir, dir, dir, {}, false}; }
};

void BM_LoadSelect(benchmark::State& state, const TempProgramDir* program) {
    const auto paths = program->Paths();
    const TSettings settings;
    for (auto _ : state) {
        TLangChanger changer;
        MessageTable messages;
        LoadLanguage(changer, messages, settings.DefaultLang, paths);
        benchmark::DoNotOptimize(messages.sAddress.data());
    }
}

void BM_LoadAgain(benchmark::State& state, const TempProgramDir* program) {
    const auto paths = program->Paths();
    const TSettings settings;
    TLangChanger changer;
    MessageTable messages;
    LoadLanguage(changer, messages, settings.DefaultLang, paths);
    for (auto _ : state) {
        LoadLanguage(changer, messages, settings.DefaultLang, paths);
        benchmark::DoNotOptimize(messages.sAddress.data());
    }
}

void BM_ReadBytes(benchmark::State& state, const TempProgramDir* program) {
    const auto path = program->dir / "languages" / "english.lng";
    std::string content;
    for (auto _ : state) {
        ReadWholeFile(path, content);
        benchmark::DoNotOptimize(content.data());
    }
}

using tesseron::bench::RecordingReporter;

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const TempProgramDir program;
    benchmark::RegisterBenchmark("LoadLanguage/select", BM_LoadSelect, &program);
    benchmark::RegisterBenchmark("LoadLanguage/again", BM_LoadAgain, &program);
    benchmark::RegisterBenchmark("ReadBytes/english.lng", BM_ReadBytes, &program);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto ref = reporter.seconds.find("ReadBytes/english.lng");
    std::printf("\nLoadLanguage (target under 5 ms), ratio to reading the file's bytes:\n");
    for (const std::string name : {"LoadLanguage/select", "LoadLanguage/again"}) {
        const auto it = reporter.seconds.find(name);
        if (it == reporter.seconds.end() || ref == reporter.seconds.end() || ref->second <= 0)
            continue;
        std::printf("%-22s %8.3f ms  reference %8.4f ms  ratio %6.1f  %s\n", name.c_str(),
                    it->second * 1e3, ref->second * 1e3, it->second / ref->second,
                    it->second < 5e-3 ? "within target" : "OVER TARGET");
    }
    return 0;
}
