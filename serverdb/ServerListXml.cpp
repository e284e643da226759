// Reading a server list file (whois.xml) into the zone tree.

#include "serverdb/XmlSource.h"
#include "serverdb/uDomainList.h"

#include <pugixml.hpp>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace tesseron {

// ---- reading the file and turning it into UTF-8 ----

namespace {

std::string ReadWholeFile(const std::string& path) {
    const auto fail = [&path](int err) {
        return ServerListError("Cannot read the server list file \"" + path +
                               "\": " + std::strerror(err));
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw fail(errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    std::size_t expected = 0;
    if (::fstat(fd, &st) == 0 && st.st_size > 0) expected = static_cast<std::size_t>(st.st_size);
    // Read straight into the string: one extra byte tells whether the file has grown.
    std::string data(expected + 1, '\0');
    std::size_t used = 0;
    for (;;) {
        if (used == data.size()) data.resize(data.size() * 2);
        const ssize_t n = ::read(fd, data.data() + used, data.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw fail(errno);
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    data.resize(used);
    return data;
}

} // namespace

// ---- loading ----

namespace {

constexpr const char* kNotSingleText = "Element does not contain a single text node";
// Real lists nest two or three levels; the limit keeps a hostile file from exhausting
// the stack in the recursive walks.
constexpr int kMaxDepth = 100;

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

// Text of a value element: empty when absent or empty. Text and CDATA pieces (split only
// by a dropped comment) are joined; an element child is an error.
std::string ValueOf(pugi::xml_node e) {
    std::string out;
    for (pugi::xml_node c = e.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_pcdata && c.type() != pugi::node_cdata)
            throw ServerListError(kNotSingleText);
        out += c.value();
    }
    return out;
}

std::int32_t RatingOf(pugi::xml_node rating) {
    std::string text;
    try {
        text = ValueOf(rating);
    } catch (const ServerListError&) {
        return 0;
    }
    std::string_view v = text;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!v.empty() && blank(v.front()))
        v.remove_prefix(1);
    while (!v.empty() && blank(v.back()))
        v.remove_suffix(1);
    if (v.size() > 1 && v[0] == '+' && v[1] != '-') v.remove_prefix(1);
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
    if (ec != std::errc() || end != v.data() + v.size()) return 0;
    return value;
}

void ReadServers(pugi::xml_node servers, TWhoisServerCollection& out) {
    static constexpr std::array<std::string_view, 7> kNames = {
        "name", "address", "webinterface", "online", "description", "whois_prefix", "rating"};
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
    }
}

void ReadZones(pugi::xml_node domains, TDomainCollection& zones, int depth) {
    static constexpr std::array<std::string_view, 4> kNames = {"suffix", "description", "domains",
                                                               "servers"};
    if (depth > kMaxDepth)
        throw ServerListError("Zones are nested more than " + std::to_string(kMaxDepth) +
                              " levels deep");
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

} // namespace

void TDomainCollection::LoadFromFile(const std::string& path) {
    const std::string raw = ReadWholeFile(path);
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
    pugi::xml_document doc;
    // No comments, processing instructions or DOCTYPE in the tree, whitespace-only text
    // dropped; the parser never fetches anything external.
    const unsigned options = pugi::parse_cdata | pugi::parse_escapes | pugi::parse_eol;
    const pugi::xml_parse_result result =
        doc.load_buffer(text.data(), text.size(), options, pugi::encoding_utf8);
    if (!result)
        throw ServerListError(
            XmlErrorMessage(result.description(), text, static_cast<std::size_t>(result.offset)));
    // The parser accepts text or a second element beside the document element; a file
    // like that is damaged, not a list to read part of.
    const pugi::xml_node root = doc.document_element();
    for (pugi::xml_node n : doc.children()) {
        if (n == root) continue;
        const std::ptrdiff_t at = n.offset_debug();
        throw ServerListError(XmlErrorMessage("Content outside the document element", text,
                                              at < 0 ? text.size() : static_cast<std::size_t>(at)));
    }
    if (const pugi::xml_node domains = root.child("domains")) ReadZones(domains, *this, 0);
}

} // namespace tesseron
