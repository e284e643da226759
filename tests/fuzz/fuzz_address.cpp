// What a typed text or an answer names: the query kinds, IDN names, the web-address
// filter, the address box's rules, server addresses and the referral rule. Canonical forms
// must classify to themselves.

#include "query/AddressBox.h"
#include "query/IdnName.h"
#include "query/QueryText.h"
#include "query/Referral.h"
#include "query/WebAddress.h"
#include "tests/fuzz/FuzzInput.h"

using namespace tesseron;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const auto query = ClassifyQuery(text);
    if (query.kind != QueryKind::Name && query.kind != QueryKind::Empty) {
        const auto again = ClassifyQuery(query.canonical);
        FUZZ_CHECK(again.kind == query.kind && again.canonical == query.canonical);
    }
    for (const bool smart : {false, true}) {
        const auto filtered = FilterWebAddress(text, smart);
        (void)ClassifyQuery(StripLeadingWww(filtered, smart));
    }
    const auto lookup = ToLookupName(text);
    FUZZ_CHECK(lookup.ok() != lookup.name.empty() || text.empty());
    (void)ToDisplayName(text);

    FUZZ_CHECK(IsIPAddress(text) == ParseIPAddress(text).has_value());
    (void)FitsHostName(text);
    FUZZ_CHECK(!HasControlCharacter(ShowControlCharacters(text)));

    (void)SplitServerAddress(text);
    for (const auto kind : {QueryKind::Name, QueryKind::IPv4Address})
        if (const auto next = FindReferral(text, ReferralKey(kind)))
            (void)SplitServerAddress(*next);
    return 0;
}
