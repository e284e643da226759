// The RDAP renderer on arbitrary JSON: the text view, the laid-out JSON (laying out twice
// changes nothing) and the registrar link of a domain answer.

#include "desktop/TextUtil.h"
#include "query/RdapRender.h"
#include "query/RdapTransport.h"
#include "tests/fuzz/FuzzInput.h"

using namespace tesseron;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view json(reinterpret_cast<const char*>(data), size);
    const std::string text = RenderRdap(json);
    FUZZ_CHECK(text.empty() || text.back() == '\n');
    const std::string pretty = PrettyRdapJson(json);
    FUZZ_CHECK(PrettyRdapJson(pretty) == pretty);
    if (const auto link = RdapRelatedLink(json)) FUZZ_CHECK(!link->empty());
    return 0;
}
