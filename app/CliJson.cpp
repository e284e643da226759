#include "app/CliJson.h"

#include "locale/AnswerCharset.h"
#include "query/RdapRender.h"

#include <cstdio>

namespace tesseron::cli {

std::string JsonString(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

std::string AnswerAsJson(const StoreRequest& answer) {
    if (!answer.RdapJson.empty()) {
        std::string out = PrettyRdapJson(answer.RdapJson);
        if (out.empty() || out.back() != '\n') out += '\n';
        return out;
    }
    // A port-43 answer is bytes in whatever character set its server chose.
    return "{\n  \"protocol\": \"whois\",\n  \"server\": " +
           JsonString(AnswerToUtf8(answer.ServerName)) +
           ",\n  \"query\": " + JsonString(AnswerToUtf8(answer.QueryString)) +
           ",\n  \"answer\": " + JsonString(AnswerToUtf8(answer.RawAnswer)) + "\n}\n";
}

} // namespace tesseron::cli
