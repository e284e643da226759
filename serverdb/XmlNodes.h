#pragma once

// Reading values out of a parsed document, shared by the server list and the results file.

#include <pugixml.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tesseron {

// The first child element of each given name, in one pass over the children (a look-up
// per name would compare every name against every child).
template <std::size_t N>
std::array<pugi::xml_node, N> FirstChildren(pugi::xml_node parent,
                                            const std::array<std::string_view, N>& names) {
    std::array<pugi::xml_node, N> found{};
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element) continue;
        const std::string_view name = c.name();
        for (std::size_t k = 0; k < N; ++k)
            if (!found[k] && name == names[k]) {
                found[k] = c;
                break;
            }
    }
    return found;
}

// The message of a value element that holds an element.
inline constexpr const char* kNotSingleText = "Element does not contain a single text node";

// Appends the text of a value element to `out`: its text and CDATA pieces (split only by a
// dropped comment) joined. False when it holds anything else.
bool AppendElementText(pugi::xml_node e, std::string& out);

// `text` less the XML blanks (space, tab, CR, LF) at both ends.
std::string_view TrimXmlBlanks(std::string_view text);

// A decimal 32-bit integer between XML blanks, with an optional sign ("+-5" is none).
std::optional<std::int32_t> ParseXmlInt32(std::string_view text);

// Where the first node beside the document element starts, or nullopt when there is none.
// The parser accepts text or a second element there; a file like that is damaged, not a
// document to read part of. `textSize` stands in for a node without a known offset.
std::optional<std::size_t> ContentOutsideRoot(const pugi::xml_document& doc, std::size_t textSize);

} // namespace tesseron
