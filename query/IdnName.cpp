#include "query/IdnName.h"

#include <algorithm>
#include <cstdlib>
#include <idn2.h>
#include <memory>

namespace tesseron {
namespace {

struct FreeIdn {
    void operator()(char* p) const { idn2_free(p); }
};

bool IsAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace

IdnResult ToLookupName(std::string_view typed) {
    if (IsAscii(typed)) return {std::string(typed), {}};
    // libidn2 reads a terminated string: a NUL inside would cut the name short unseen.
    if (typed.find('\0') != std::string_view::npos) return {{}, idn2_strerror(IDN2_ENCODING_ERROR)};
    const std::string input(typed);
    uint8_t* out = nullptr;
    const int rc = idn2_lookup_u8(reinterpret_cast<const uint8_t*>(input.c_str()), &out,
                                  IDN2_NONTRANSITIONAL | IDN2_NFC_INPUT);
    const std::unique_ptr<char, FreeIdn> owned(reinterpret_cast<char*>(out));
    if (rc != IDN2_OK || !owned) return {{}, idn2_strerror(rc)};
    return {owned.get(), {}};
}

IdnResult ToDisplayName(std::string_view aLabels) {
    if (aLabels.find('\0') != std::string_view::npos)
        return {std::string(aLabels), idn2_strerror(IDN2_ENCODING_ERROR)};
    const std::string input(aLabels);
    char* out = nullptr;
    const int rc = idn2_to_unicode_8z8z(input.c_str(), &out, 0);
    const std::unique_ptr<char, FreeIdn> owned(out);
    if (rc != IDN2_OK || !owned) return {input, idn2_strerror(rc)};
    return {owned.get(), {}};
}

} // namespace tesseron
