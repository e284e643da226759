// Server list: loading and look-up speed, each against a reference measured in the same run.
//   Load:        LoadFromBuffer / LoadFromFile vs a bare pugixml parse of the same bytes.
//   FindServers: 100,000 names (hits on top-level zones and sub-zones, misses) vs a plain
//                loop doing a case-insensitive ends-with of each name against every suffix.
//   Per zone:    the shipped list's load and FindServers against the earlier 797-zone list
//                (bench/data/whois-797-zones.xml), each time divided by the list's zones.
#include "serverdb/ServerListWalks.h"
#include "serverdb/uDomainList.h"

#include "RecordingReporter.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace tesseron;

namespace {

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string Zone(const std::string& suffix, const std::string& inner) {
    return "    <domain>\n      <suffix>" + suffix + "</suffix>\n      <description>Zone " +
           suffix + "</description>\n" + inner + "    </domain>\n";
}

std::string Servers(const std::string& suffix, int count) {
    std::string s = "      <servers>\n";
    for (int i = 0; i < count; ++i)
        s += "        <server>\n          <name>Registry of " + suffix +
             "</name>\n          <address>whois" + std::to_string(i) + ".nic" + suffix +
             "</address>\n          <webinterface>https://nic" + suffix +
             "/</webinterface>\n          <online/>\n          <description/>\n"
             "          <rating>" +
             std::to_string(i) + "</rating>\n        </server>\n";
    return s + "      </servers>\n";
}

// A list shaped like the real one: two-letter country zones (some with ".co"/".com"/
// ".org" sub-zones), longer generic names, and the "ip" zone last.
std::string GenerateList(int zones) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<whois>\n  <domains>\n";
    int made = 0;
    for (int i = 0; made < zones - 1; ++i) {
        std::string suffix = ".";
        if (i < 676) {
            suffix += static_cast<char>('a' + i / 26);
            suffix += static_cast<char>('a' + i % 26);
        } else {
            suffix += "gen" + std::to_string(i);
        }
        std::string inner;
        if (i % 5 == 0 && made + 4 < zones) {
            inner = "      <domains>\n";
            for (const char* sub : {".co", ".com", ".org"})
                inner += Zone(sub + suffix, Servers(sub + suffix, 1));
            inner += "      </domains>\n";
            made += 3;
        }
        xml += Zone(suffix, inner + Servers(suffix, 1 + i % 3));
        ++made;
    }
    return xml + Zone("ip", Servers(".arin.net", 1)) + "  </domains>\n</whois>\n";
}

struct Fixture {
    std::string bytes;
    std::unique_ptr<TDomainCollection> list = std::make_unique<TDomainCollection>();
    std::vector<std::string> names;
    std::vector<std::string> suffixes; // every suffix of the tree, for the reference loop
};

void CollectSuffixes(const TDomainCollection& c, std::vector<std::string>& out,
                     std::vector<std::string>& sub, bool nested) {
    for (int i = 0; i < c.Count(); ++i) {
        out.push_back(c[i].Suffix);
        if (nested) sub.push_back(c[i].Suffix);
        CollectSuffixes(c[i].SubDomains, out, sub, true);
    }
}

// 100,000 names: about half top-level hits, a quarter sub-zone hits, a quarter misses.
Fixture MakeFixture(std::string bytes) {
    Fixture f;
    f.bytes = std::move(bytes);
    f.list->LoadFromBuffer(f.bytes.data(), f.bytes.size());
    std::vector<std::string> subs;
    CollectSuffixes(*f.list, f.suffixes, subs, false);
    if (subs.empty()) subs = f.suffixes;
    std::mt19937 rng(42);
    for (int i = 0; i < 100'000; ++i) {
        const int kind = static_cast<int>(rng() % 4);
        std::string name = "host" + std::to_string(rng() % 100000);
        if (kind <= 1)
            name += f.suffixes[rng() % f.suffixes.size()];
        else if (kind == 2)
            name += subs[rng() % subs.size()];
        else
            name += ".nosuch" + std::to_string(rng() % 1000) + "q";
        if (i % 7 == 0)
            for (char& ch : name)
                if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
        f.names.push_back(std::move(name));
    }
    return f;
}

const std::filesystem::path kWhoisXml = std::filesystem::path(TESSERON_BINARY_DIR) / "whois.xml";
const std::filesystem::path kOldXml =
    std::filesystem::path(TESSERON_SOURCE_DIR) / "bench" / "data" / "whois-797-zones.xml";

const std::string& WhoisXmlBytes() {
    static const std::string bytes =
        std::filesystem::exists(kWhoisXml) ? ReadAll(kWhoisXml) : std::string();
    return bytes;
}

const std::string& Generated10k() {
    static const std::string bytes = GenerateList(10'000);
    return bytes;
}

// The generated 10,000-zone list as a file, removed at exit.
struct TempListFile {
    std::string path;
    TempListFile() {
        std::string templ = (std::filesystem::temp_directory_path() / "bench-list-XXXXXX").string();
        const int fd = mkstemp(templ.data());
        if (fd >= 0) close(fd);
        path = templ;
        std::ofstream(path, std::ios::binary) << Generated10k();
    }
    ~TempListFile() { std::remove(path.c_str()); }
};

void BM_PugixmlParse(benchmark::State& state, const std::string* bytes) {
    for (auto _ : state) {
        pugi::xml_document doc;
        benchmark::DoNotOptimize(doc.load_buffer(
            bytes->data(), bytes->size(), pugi::parse_cdata | pugi::parse_escapes | pugi::parse_eol,
            pugi::encoding_utf8));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes->size()));
}

void BM_LoadFromBuffer(benchmark::State& state, const std::string* bytes) {
    for (auto _ : state) {
        TDomainCollection list;
        list.LoadFromBuffer(bytes->data(), bytes->size());
        benchmark::DoNotOptimize(list.Count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes->size()));
}

void BM_LoadFromFile(benchmark::State& state, const std::string* path) {
    for (auto _ : state) {
        TDomainCollection list;
        list.LoadFromFile(*path);
        benchmark::DoNotOptimize(list.Count());
    }
}

void BM_FindServers(benchmark::State& state, const Fixture* f) {
    int64_t found = 0;
    for (auto _ : state)
        for (const auto& name : f->names)
            found += f->list->FindServers(name) != nullptr;
    state.counters["names/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * f->names.size()), benchmark::Counter::kIsRate);
    state.counters["hit%"] = 100.0 * static_cast<double>(found) /
                             static_cast<double>(state.iterations() * f->names.size());
}

inline unsigned char Lower(char c) {
    return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

void BM_EndsWithLoop(benchmark::State& state, const Fixture* f) {
    for (auto _ : state) {
        int64_t matches = 0;
        for (const auto& name : f->names)
            for (const auto& suffix : f->suffixes) {
                if (suffix.size() > name.size()) continue;
                const char* t = name.data() + (name.size() - suffix.size());
                std::size_t i = suffix.size();
                while (i > 0 && Lower(t[i - 1]) == Lower(suffix[i - 1]))
                    --i;
                matches += i == 0;
            }
        benchmark::DoNotOptimize(matches);
    }
    state.counters["names/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * f->names.size()), benchmark::Counter::kIsRate);
}

using tesseron::bench::RecordingReporter;

void PrintRatio(const RecordingReporter& rep, const std::string& what, const std::string& ours,
                const std::string& reference) {
    const auto a = rep.seconds.find(ours), b = rep.seconds.find(reference);
    if (a == rep.seconds.end() || b == rep.seconds.end() || b->second <= 0) return;
    std::printf("%-44s %10.3f ms  reference %10.3f ms  ratio %.2f\n", what.c_str(), a->second * 1e3,
                b->second * 1e3, a->second / b->second);
}

// The time of `ours` per zone of its list against that of `reference` per zone of its own.
void PrintPerZoneRatio(const RecordingReporter& rep, const std::string& ours, int oursZones,
                       const std::string& reference, int referenceZones) {
    const auto a = rep.seconds.find(ours), b = rep.seconds.find(reference);
    if (a == rep.seconds.end() || b == rep.seconds.end() || b->second <= 0) return;
    const double mine = a->second / oursZones, theirs = b->second / referenceZones;
    std::printf("%-44s %8.1f ns/zone  reference %8.1f ns/zone  ratio per zone %.2f\n",
                (ours + " vs " + reference).c_str(), mine * 1e9, theirs * 1e9, mine / theirs);
}

} // namespace

int main(int argc, char** argv) {
    // Keep freed memory in the process: otherwise every iteration of both a load and its
    // reference pays for handing large blocks back to the system and faulting them in again,
    // which swamps the parsing being compared.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    benchmark::Initialize(&argc, argv);
    const std::string& whois = WhoisXmlBytes();
    const std::string& gen10k = Generated10k();
    const TempListFile genFile;
    const std::string whoisPath = kWhoisXml.string();
    const std::string old = std::filesystem::exists(kOldXml) ? ReadAll(kOldXml) : std::string();

    std::unique_ptr<Fixture> whoisFixture;
    if (!whois.empty()) {
        benchmark::RegisterBenchmark("Pugixml/whois.xml", BM_PugixmlParse, &whois);
        benchmark::RegisterBenchmark("LoadFromBuffer/whois.xml", BM_LoadFromBuffer, &whois);
        benchmark::RegisterBenchmark("LoadFromFile/whois.xml", BM_LoadFromFile, &whoisPath);
        whoisFixture = std::make_unique<Fixture>(MakeFixture(whois));
        benchmark::RegisterBenchmark("FindServers/whois.xml", BM_FindServers, whoisFixture.get());
        benchmark::RegisterBenchmark("EndsWithLoop/whois.xml", BM_EndsWithLoop, whoisFixture.get());
    } else {
        std::printf("%s is missing or empty: only generated lists are measured\n",
                    whoisPath.c_str());
    }
    std::unique_ptr<Fixture> oldFixture;
    if (!old.empty()) {
        benchmark::RegisterBenchmark("LoadFromBuffer/old797", BM_LoadFromBuffer, &old);
        oldFixture = std::make_unique<Fixture>(MakeFixture(old));
        benchmark::RegisterBenchmark("FindServers/old797", BM_FindServers, oldFixture.get());
    }
    benchmark::RegisterBenchmark("Pugixml/generated10k", BM_PugixmlParse, &gen10k);
    benchmark::RegisterBenchmark("LoadFromBuffer/generated10k", BM_LoadFromBuffer, &gen10k);
    benchmark::RegisterBenchmark("LoadFromFile/generated10k", BM_LoadFromFile, &genFile.path);
    const Fixture genFixture = MakeFixture(GenerateList(1'300));
    benchmark::RegisterBenchmark("FindServers/generated1300", BM_FindServers, &genFixture);
    benchmark::RegisterBenchmark("EndsWithLoop/generated1300", BM_EndsWithLoop, &genFixture);

    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nRatios (ours / reference, lower is better):\n");
    for (const std::string list : {"whois.xml", "generated10k"}) {
        PrintRatio(reporter, "LoadFromBuffer/" + list + " vs pugixml", "LoadFromBuffer/" + list,
                   "Pugixml/" + list);
        PrintRatio(reporter, "LoadFromFile/" + list + " vs pugixml", "LoadFromFile/" + list,
                   "Pugixml/" + list);
    }
    for (const std::string list : {"whois.xml", "generated1300"}) {
        const auto it = reporter.seconds.find("FindServers/" + list);
        if (it != reporter.seconds.end())
            std::printf("FindServers/%s: %.0f names/s\n", list.c_str(), 100'000 / it->second);
        PrintRatio(reporter, "FindServers/" + list + " vs ends-with loop", "FindServers/" + list,
                   "EndsWithLoop/" + list);
    }
    if (whoisFixture && oldFixture) {
        const int zones = CountTotals(*whoisFixture->list).zones;
        const int oldZones = CountTotals(*oldFixture->list).zones;
        std::printf(
            "\nShipped list (%d zones) against the earlier list (%d zones), each run's time "
            "divided by its list's zones; target 1.5:\n",
            zones, oldZones);
        for (const char* what : {"LoadFromBuffer/", "FindServers/"})
            PrintPerZoneRatio(reporter, what + std::string("whois.xml"), zones,
                              what + std::string("old797"), oldZones);
    }
    return 0;
}
