// RDAP answers as text: a 1 MB network answer (many contacts with full cards, remarks and
// notices) rendered as lines and laid out as indented JSON, against simdjson merely
// parsing the same document (a fresh parser each time, as the renderer uses).
// Target: rendering under 10 ms.
#include "RecordingReporter.h"
#include "query/RdapRender.h"

#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <cstdio>
#include <stdexcept>

using namespace tesseron;

namespace {

std::string Contact(int i) {
    const std::string n = std::to_string(i);
    return R"({"objectClassName":"entity","handle":"C)" + n +
           R"(-TEST","roles":["technical","administrative"],"vcardArray":["vcard",[)"
           R"(["version",{},"text","4.0"],["fn",{},"text","Contact )" +
           n + R"("],["org",{},"text","Network Operations )" + n +
           R"( Ltd."],["adr",{"cc":"ZZ"},"text",["","",["Street )" + n +
           R"(","Building B"],"City","Region","12345","Country"]],)"
           R"(["tel",{"type":["voice"]},"uri","tel:+1.555555)" +
           n + R"("],["tel",{"type":"fax"},"uri","tel:+1.555556)" + n +
           R"("],["email",{},"text","noc)" + n +
           R"(@net.test"]]],)"
           R"("entities":[{"roles":["abuse"],"vcardArray":["vcard",[["fn",{},"text","Abuse )" +
           n + R"("],["email",{},"text","abuse)" + n +
           R"(@net.test"]]]}],)"
           R"("remarks":[{"title":"Contact remark","description":["Line one of )" +
           n + R"(","Line two"]}]})";
}

// A network answer of about `bytes` bytes.
std::string LargeAnswer(std::size_t bytes) {
    std::string json = R"({"objectClassName":"ip network","handle":"NET-10-0-0-0-1",)"
                       R"("startAddress":"10.0.0.0","endAddress":"10.255.255.255",)"
                       R"("name":"BIG-NET","type":"ALLOCATION","country":"ZZ","entities":[)";
    for (int i = 0; json.size() < bytes * 9 / 10; ++i)
        json += (i ? "," : "") + Contact(i);
    json += R"(],"remarks":[)";
    for (int i = 0; json.size() < bytes; ++i)
        json += std::string(i ? "," : "") + R"({"title":"Remark )" + std::to_string(i) +
                R"(","description":["This network is used for testing.","Second line."],)"
                R"("links":[{"href":"https://net.test/remarks/)" +
                std::to_string(i) + R"(","type":"text/html"}]})";
    json += R"(],"notices":[{"title":"Terms","description":["Use is subject to the terms."]}]})";
    return json;
}

const std::string& Answer() {
    static const std::string answer = LargeAnswer(std::size_t{1} << 20);
    return answer;
}

void BM_ParseOnly(benchmark::State& state) {
    const std::string& json = Answer();
    for (auto _ : state) {
        simdjson::dom::parser parser;
        simdjson::dom::element doc;
        if (parser.parse(json.data(), json.size()).get(doc)) throw std::runtime_error("parse");
        benchmark::DoNotOptimize(doc);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(json.size()));
}

void BM_Render(benchmark::State& state) {
    const std::string& json = Answer();
    for (auto _ : state)
        benchmark::DoNotOptimize(RenderRdap(json));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(json.size()));
}

void BM_PrettyJson(benchmark::State& state) {
    const std::string& json = Answer();
    for (auto _ : state)
        benchmark::DoNotOptimize(PrettyRdapJson(json));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(json.size()));
}

} // namespace

BENCHMARK(BM_ParseOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrettyJson)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    tesseron::bench::RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto& s = reporter.seconds;
    const auto parse = s.find("BM_ParseOnly");
    if (parse == s.end()) return 0;
    const std::string text = RenderRdap(Answer());
    std::printf("answer %zu bytes, %zu bytes of text\n", Answer().size(), text.size());
    for (const char* name : {"BM_Render", "BM_PrettyJson"})
        if (const auto it = s.find(name); it != s.end())
            std::printf("%-14s %7.2f ms  parse only %7.2f ms  ratio %.2f%s\n", name,
                        it->second * 1e3, parse->second * 1e3, it->second / parse->second,
                        name == std::string("BM_Render")
                            ? (it->second < 0.010 ? "  (target < 10 ms: met)"
                                                  : "  (target < 10 ms: MISSED)")
                            : "");
    return 0;
}
