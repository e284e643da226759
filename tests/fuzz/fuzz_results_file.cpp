// The results file: load, save, load again. What the first load kept must come back
// unchanged from the saved file, and the saved file must load without an error.

#include "serverdb/ResultsFile.h"
#include "serverdb/uWhoisResultList.h"
#include "tests/fuzz/FuzzInput.h"

using namespace tesseron;

namespace {

bool Same(const TWhoisResultItem& a, const TWhoisResultItem& b) {
    return a.QueryString == b.QueryString && a.ServerName == b.ServerName &&
           a.ErrorCode == b.ErrorCode && a.QueryDate == b.QueryDate && a.RawAnswer == b.RawAnswer &&
           a.QueryType == b.QueryType && a.IpAddress == b.IpAddress &&
           a.ReverseName == b.ReverseName;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    TWhoisResultCollection first;
    try {
        ReadResultsFile(in, first);
    } catch (const ResultsFileError&) {
    }
    const std::string saved = FormatResultsFile(first);
    TWhoisResultCollection second;
    try {
        ReadResultsFile(saved, second);
    } catch (const ResultsFileError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        fuzz::Fail("a saved results file loads");
    }
    FUZZ_CHECK(second.Count() == first.Count());
    for (int i = 0; i < first.Count(); ++i)
        FUZZ_CHECK(Same(first[i], second[i]));
    FUZZ_CHECK(FormatResultsFile(second) == saved);
    return 0;
}
