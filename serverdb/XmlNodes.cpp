#include "serverdb/XmlNodes.h"

#include <charconv>

namespace tesseron {

bool AppendElementText(pugi::xml_node e, std::string& out) {
    out += e.value(); // the text a parse with parse_embed_pcdata kept in the element itself
    for (pugi::xml_node c = e.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_pcdata && c.type() != pugi::node_cdata) return false;
        out += c.value();
    }
    return true;
}

std::string_view TrimXmlBlanks(std::string_view v) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!v.empty() && blank(v.front()))
        v.remove_prefix(1);
    while (!v.empty() && blank(v.back()))
        v.remove_suffix(1);
    return v;
}

std::optional<std::int32_t> ParseXmlInt32(std::string_view text) {
    std::string_view v = TrimXmlBlanks(text);
    if (v.size() > 1 && v[0] == '+' && v[1] != '-') v.remove_prefix(1);
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
    if (v.empty() || ec != std::errc() || end != v.data() + v.size()) return std::nullopt;
    return value;
}

std::optional<std::size_t> ContentOutsideRoot(const pugi::xml_document& doc, std::size_t textSize) {
    const pugi::xml_node root = doc.document_element();
    for (pugi::xml_node n : doc.children()) {
        if (n == root) continue;
        const std::ptrdiff_t at = n.offset_debug();
        return at < 0 ? textSize : static_cast<std::size_t>(at);
    }
    return std::nullopt;
}

} // namespace tesseron
