// The port-43 answer decoding for the answer pane: the first line names the character
// set, the rest is the answer. Whatever the bytes, the pane gets valid UTF-8.

#include "locale/AnswerCharset.h"
#include "tests/fuzz/FuzzInput.h"

using namespace tesseron;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    const auto [charset, answer] = fuzz::SplitFirstLine(in);
    FUZZ_CHECK(IsValidUtf8(AnswerToUtf8(answer, charset)));
    const std::string plain = AnswerToUtf8(in);
    FUZZ_CHECK(IsValidUtf8(plain));
    if (IsValidUtf8(in)) FUZZ_CHECK(plain == in);
    return 0;
}
