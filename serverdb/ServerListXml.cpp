// Reading a server list file (whois.xml) into the zone tree.

#include "desktop/AtomicFile.h"
#include "serverdb/XmlNodes.h"
#include "serverdb/XmlSource.h"
#include "serverdb/uDomainList.h"

#include <cerrno>
#include <cstring>

namespace tesseron {

namespace {

// Real lists nest two or three levels; the limit keeps a hostile file from exhausting
// the stack in the recursive walks.
constexpr int kMaxDepth = 100;
const std::string kTooDeep =
    "Zones are nested more than " + std::to_string(kMaxDepth) + " levels deep";

// Text of a value element: empty when absent or empty; an element child is an error.
std::string ValueOf(pugi::xml_node e) {
    std::string out;
    if (!AppendElementText(e, out)) throw ServerListError(kNotSingleText);
    return out;
}

std::int32_t RatingOf(pugi::xml_node rating) {
    std::string text;
    if (!AppendElementText(rating, text)) return 0;
    return ParseXmlInt32(text).value_or(0);
}

void ReadServers(pugi::xml_node servers, TWhoisServerCollection& out) {
    static constexpr std::array<std::string_view, 8> kNames = {
        "name",        "address",      "webinterface", "online",
        "description", "whois_prefix", "rating",       "charset"};
    for (pugi::xml_node v : servers.children()) {
        TWhoisServerItem& s = out.Add();
        const auto e = FirstChildren(v, kNames);
        s.Name = ValueOf(e[0]);
        s.Address = ValueOf(e[1]);
        s.WebInterface = ValueOf(e[2]);
        s.Online = ValueOf(e[3]);
        s.Description = ValueOf(e[4]);
        s.WhoisPrefix = ValueOf(e[5]);
        s.Rating = RatingOf(e[6]);
        s.Charset = ValueOf(e[7]);
    }
}

void ReadZones(pugi::xml_node domains, TDomainCollection& zones, int depth) {
    static constexpr std::array<std::string_view, 4> kNames = {"suffix", "description", "domains",
                                                               "servers"};
    if (depth > kMaxDepth) throw ServerListError(kTooDeep);
    for (pugi::xml_node z : domains.children()) {
        const auto e = FirstChildren(z, kNames);
        std::string suffix = ValueOf(e[0]);
        if (suffix.empty()) continue;
        TDomainItem& zone = zones.Add();
        zone.Suffix = std::move(suffix);
        zone.Description = ValueOf(e[1]);
        if (e[2]) ReadZones(e[2], zone.SubDomains, depth + 1);
        if (e[3]) ReadServers(e[3], zone.WhoisServers);
    }
}

// No comments, processing instructions or DOCTYPE in the tree, whitespace-only text
// dropped; the parser never fetches anything external. A value's text is kept in its
// element rather than in a node of its own, which halves the nodes of a list.
constexpr unsigned kParseOptions =
    pugi::parse_cdata | pugi::parse_escapes | pugi::parse_eol | pugi::parse_embed_pcdata;

void ReadDocument(const pugi::xml_document& doc, TDomainCollection& zones) {
    if (const pugi::xml_node domains = doc.document_element().child("domains"))
        ReadZones(domains, zones, 0);
}

// The deepest list we read nests kMaxDepth zones, two elements each, under the root and
// its "domains", with a server's value three elements below its zone. Anything deeper is
// refused before the tree is built: a tree costs many times the file's size.
void RefuseTooDeep(std::string_view text) {
    constexpr int kMaxElementDepth = 2 * (kMaxDepth + 1) + 6;
    if (FindTooDeepElement(text, kMaxElementDepth)) throw ServerListError(kTooDeep);
}

std::string ReadListFile(const std::string& path) {
    std::string raw;
    if (!ReadWholeFile(path, raw))
        throw ServerListError("Cannot read the server list file \"" + path +
                              "\": " + std::strerror(errno));
    return raw;
}

} // namespace

void TDomainCollection::LoadFromFile(const std::string& path) {
    // Parsed in place, sparing a copy of the file that a fresh process pays for in page
    // faults; a damaged file is read once more so that its message points into the text
    // as written, which the parser has changed.
    std::string raw = ReadListFile(path);
    std::string converted;
    std::string_view text;
    try {
        text = DecodeXmlSource(raw, converted);
    } catch (const XmlSourceError& e) {
        throw ServerListError(e.what());
    }
    RefuseTooDeep(text);
    // `text` lies in `raw` or `converted`, both ours to change.
    char* const own = const_cast<char*>(text.data());
    pugi::xml_document doc;
    if (doc.load_buffer_inplace(own, text.size(), kParseOptions, pugi::encoding_utf8) &&
        !ContentOutsideRoot(doc, text.size())) {
        ReadDocument(doc, *this);
        return;
    }
    raw = ReadListFile(path);
    LoadFromBuffer(raw.data(), raw.size());
}

void TDomainCollection::LoadFromBuffer(const void* data, std::size_t size) {
    std::string converted;
    std::string_view text;
    try {
        text = DecodeXmlSource({static_cast<const char*>(data), size}, converted);
    } catch (const XmlSourceError& e) {
        throw ServerListError(e.what());
    }
    RefuseTooDeep(text);
    pugi::xml_document doc;
    const pugi::xml_parse_result result =
        doc.load_buffer(text.data(), text.size(), kParseOptions, pugi::encoding_utf8);
    if (!result)
        throw ServerListError(
            XmlErrorMessage(result.description(), text, static_cast<std::size_t>(result.offset)));
    // The parser accepts text or a second element beside the document element; a file
    // like that is damaged, not a list to read part of.
    if (const auto at = ContentOutsideRoot(doc, text.size()))
        throw ServerListError(XmlErrorMessage("Content outside the document element", text, *at));
    ReadDocument(doc, *this);
}

} // namespace tesseron
