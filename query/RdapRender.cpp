#include "query/RdapRender.h"

#include <simdjson.h>

#include <arpa/inet.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

namespace tesseron {
namespace {

using simdjson::dom::array;
using simdjson::dom::element;
using simdjson::dom::object;

// Entities hold entities (a registrar's abuse contact); deeper ones are passed over.
constexpr int kMaxEntityDepth = 6;

std::string_view Str(element e) {
    std::string_view s;
    return e.get_string().get(s) ? std::string_view{} : s;
}

std::string_view Str(element e, std::string_view key) {
    element v;
    return e.at_key(key).get(v) ? std::string_view{} : Str(v);
}

// A default array may not be walked, so a missing list is this parsed empty one.
array EmptyArray() {
    static simdjson::dom::parser parser;
    static const array empty = [] {
        array a;
        if (parser.parse(std::string_view("[]")).get_array().get(a)) std::abort();
        return a;
    }();
    return empty;
}

array Arr(element e, std::string_view key) {
    array a; // the empty array when missing or of another type
    if (e.at_key(key).get_array().get(a)) return EmptyArray();
    return a;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view lowerB) {
    if (a.size() != lowerB.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char c = a[i];
        if (((c >= 'A' && c <= 'Z') ? c + 32 : c) != lowerB[i]) return false;
    }
    return true;
}

bool HasString(array list, std::string_view lowerValue) {
    for (const element e : list)
        if (EqualsIgnoringCase(Str(e), lowerValue)) return true;
    return false;
}

class Lines {
public:
    // "label: value"; nothing for an empty value.
    void Add(std::string_view label, std::string_view value) {
        if (value.empty()) return;
        text_ += label;
        text_ += ": ";
        Clean(value);
        text_ += '\n';
    }
    // "label: first second ..." for a value of parts.
    void Add(std::string_view label, std::initializer_list<std::string_view> parts) {
        std::string joined;
        for (const auto part : parts) {
            if (part.empty()) continue;
            if (!joined.empty()) joined += ' ';
            joined += part;
        }
        Add(label, joined);
    }
    // Free text: one indented line for each of its own lines.
    void Indented(std::string_view text) {
        while (!text.empty()) {
            const auto end = text.find('\n');
            auto line = text.substr(0, end);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            text_ += "  ";
            Clean(line);
            text_ += '\n';
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        }
    }
    void Blank() {
        if (!text_.empty() && !text_.ends_with("\n\n")) text_ += '\n';
    }
    std::string Take() { return std::move(text_); }

private:
    void Clean(std::string_view value) {
        std::size_t from = 0; // copied in runs: control characters are rare
        for (std::size_t i = 0; i < value.size(); ++i) {
            const auto c = static_cast<unsigned char>(value[i]);
            if (c >= 0x20 && c != 0x7f) continue;
            text_.append(value.substr(from, i - from));
            text_ += ' ';
            from = i + 1;
        }
        text_.append(value.substr(from));
    }
    std::string text_;
};

// The text of a jCard value: a string, or the strings of a list joined.
std::string JoinValue(element value, std::string_view separator) {
    if (const auto s = Str(value); !s.empty()) return std::string(s);
    array parts;
    if (value.get_array().get(parts)) return {};
    std::string out;
    for (const element part : parts) {
        const auto s = Str(part);
        if (s.empty()) continue;
        if (!out.empty()) out += separator;
        out += s;
    }
    return out;
}

std::string Title(std::string_view role) {
    std::string out(role);
    bool start = true;
    for (char& c : out) {
        if (start && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        start = c == ' ' || c == '_' || c == '-';
    }
    return out;
}

// The contact lines of an entity's jCard: "<who> Name", "<who> Organization", ...
void RenderCard(Lines& out, element entity, const std::string& who) {
    array card;
    if (entity.at_key("vcardArray").at(1).get_array().get(card)) return;
    std::vector<std::string> emails, phones, faxes;
    for (const element property : card) {
        array p;
        if (property.get_array().get(p) || p.size() < 4) continue;
        const auto name = Str(p.at(0).value_unsafe());
        element value = p.at(3).value_unsafe();
        element params = p.at(1).value_unsafe();
        if (EqualsIgnoringCase(name, "fn")) {
            out.Add(who + " Name", Str(value));
        } else if (EqualsIgnoringCase(name, "org")) {
            out.Add(who + " Organization", JoinValue(value, ", "));
        } else if (EqualsIgnoringCase(name, "adr")) {
            if (const auto label = Str(params, "label"); !label.empty()) {
                for (std::string_view rest = label; !rest.empty();) {
                    const auto end = rest.find('\n');
                    out.Add(who + " Address", rest.substr(0, end));
                    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
                }
            }
            array adr;
            if (value.get_array().get(adr) || adr.size() < 7) continue;
            static constexpr std::array<const char*, 7> kParts = {
                " PO Box",         " Extended Address", " Street", " City",
                " State/Province", " Postal Code",      " Country"};
            for (std::size_t i = 0; i < 7; ++i) {
                array many;
                const element part = adr.at(i).value_unsafe();
                if (!part.get_array().get(many))
                    for (const element line : many)
                        out.Add(who + kParts[i], Str(line));
                else
                    out.Add(who + kParts[i], Str(part));
            }
            out.Add(who + " Country Code", Str(params, "cc"));
        } else if (EqualsIgnoringCase(name, "email")) {
            emails.emplace_back(Str(value));
        } else if (EqualsIgnoringCase(name, "tel")) {
            std::string_view number = Str(value);
            if (number.starts_with("tel:")) number.remove_prefix(4);
            element type;
            bool fax = false;
            if (!params.at_key("type").get(type))
                fax = EqualsIgnoringCase(Str(type), "fax") ||
                      (type.is_array() && HasString(type.get_array().value_unsafe(), "fax"));
            (fax ? faxes : phones).emplace_back(number);
        }
    }
    for (const auto& e : emails)
        out.Add(who + " Email", e);
    for (const auto& p : phones)
        out.Add(who + " Phone", p);
    for (const auto& f : faxes)
        out.Add(who + " Fax", f);
}

// Every entity of `object` by role, and the entities they hold, prefixed by their
// holder's role ("Registrar Abuse Email").
void RenderEntities(Lines& out, element object, const std::string& prefix, int depth) {
    if (depth > kMaxEntityDepth) return;
    for (const element entity : Arr(object, "entities")) {
        if (!entity.is_object()) continue;
        std::vector<std::string> roles;
        for (const element role : Arr(entity, "roles"))
            if (const auto r = Str(role); !r.empty()) roles.push_back(prefix + Title(r));
        if (roles.empty()) roles.push_back(prefix + "Contact");
        for (const auto& who : roles) {
            out.Add(who + " Handle", Str(entity, "handle"));
            RenderCard(out, entity, who);
            RenderEntities(out, entity, who + " ", depth + 1);
        }
    }
}

// The entity of `object` with `role`, if any.
std::optional<element> EntityWithRole(element object, std::string_view lowerRole) {
    for (const element entity : Arr(object, "entities"))
        if (HasString(Arr(entity, "roles"), lowerRole)) return entity;
    return std::nullopt;
}

// The first jCard value of `property` of an entity.
std::string CardValue(element entity, std::string_view lowerProperty) {
    array card;
    if (entity.at_key("vcardArray").at(1).get_array().get(card)) return {};
    for (const element property : card) {
        array p;
        if (property.get_array().get(p) || p.size() < 4) continue;
        if (!EqualsIgnoringCase(Str(p.at(0).value_unsafe()), lowerProperty)) continue;
        std::string value(Str(p.at(3).value_unsafe()));
        if (value.starts_with("tel:")) value.erase(0, 4);
        if (!value.empty()) return value;
    }
    return {};
}

std::string_view EventDate(element object, std::string_view lowerAction) {
    for (const element event : Arr(object, "events"))
        if (EqualsIgnoringCase(Str(event, "eventAction"), lowerAction))
            return Str(event, "eventDate");
    return {};
}

// Events other than the ones an object's own lines have named.
void RenderEvents(Lines& out, element object, std::initializer_list<std::string_view> named) {
    for (const element event : Arr(object, "events")) {
        const auto action = Str(event, "eventAction");
        bool done = EqualsIgnoringCase(action, "last update of rdap database");
        for (const auto n : named)
            done = done || EqualsIgnoringCase(action, n);
        if (!done) out.Add(Title(action) + " Date", Str(event, "eventDate"));
    }
}

void RenderStatus(Lines& out, element object, std::string_view label) {
    for (const element status : Arr(object, "status"))
        out.Add(label, Str(status));
}

// A record's string members, each under its label, then the status and events that close
// the number registries' records.
void RenderFieldsStatusEvents(
    Lines& out, element doc,
    std::initializer_list<std::pair<std::string_view, std::string_view>> labelledKeys) {
    for (const auto& [label, key] : labelledKeys)
        out.Add(label, Str(doc, key));
    RenderStatus(out, doc, "Status");
    RenderEvents(out, doc, {});
}

void RenderDomain(Lines& out, element doc) {
    const auto ldh = Str(doc, "ldhName");
    out.Add("Domain Name", ldh);
    if (const auto unicode = Str(doc, "unicodeName"); unicode != ldh)
        out.Add("Unicode Domain Name", unicode);
    out.Add("Registry Domain ID", Str(doc, "handle"));
    if (const auto registrar = EntityWithRole(doc, "registrar")) {
        std::string name = CardValue(*registrar, "fn");
        out.Add("Registrar", name.empty() ? Str(*registrar, "handle") : name);
        for (const element id : Arr(*registrar, "publicIds"))
            if (EqualsIgnoringCase(Str(id, "type"), "iana registrar id"))
                out.Add("Registrar IANA ID", Str(id, "identifier"));
        if (const auto abuse = EntityWithRole(*registrar, "abuse")) {
            out.Add("Registrar Abuse Contact Email", CardValue(*abuse, "email"));
            out.Add("Registrar Abuse Contact Phone", CardValue(*abuse, "tel"));
        }
    }
    out.Add("Creation Date", EventDate(doc, "registration"));
    out.Add("Updated Date", EventDate(doc, "last changed"));
    out.Add("Registry Expiry Date", EventDate(doc, "expiration"));
    RenderEvents(out, doc, {"registration", "last changed", "expiration"});
    RenderStatus(out, doc, "Domain Status");
    for (const element ns : Arr(doc, "nameservers"))
        out.Add("Name Server", Str(ns, "ldhName"));
    element secure;
    if (!doc.at_key("secureDNS").get(secure) && secure.is_object()) {
        bool isSigned = false;
        if (!secure.at_key("delegationSigned").get(isSigned))
            out.Add("DNSSEC", isSigned ? "signedDelegation" : "unsigned");
        for (const element ds : Arr(secure, "dsData")) {
            std::string fields;
            for (const char* key : {"keyTag", "algorithm", "digestType"}) {
                std::int64_t n = 0;
                if (!ds.at_key(key).get(n)) fields += std::to_string(n) + " ";
            }
            out.Add("DNSSEC DS Data", fields + std::string(Str(ds, "digest")));
        }
    }
}

// An address text as 16 bytes, IPv4 in the last four, and its family's width.
bool AddressBits(std::string_view text, std::array<std::uint8_t, 16>& bytes, int& bits) {
    const std::string s(text.substr(0, 64));
    bytes = {};
    if (inet_pton(AF_INET, s.c_str(), bytes.data() + 12) == 1) {
        bits = 32;
        return true;
    }
    bits = 128;
    return inet_pton(AF_INET6, s.c_str(), bytes.data()) == 1;
}

__extension__ typedef unsigned __int128 U128;

U128 ToNumber(const std::array<std::uint8_t, 16>& b) {
    U128 v = 0;
    for (const auto x : b)
        v = (v << 8) | x;
    return v;
}

std::string ToText(U128 v, int bits) {
    std::array<std::uint8_t, 16> b{};
    for (int i = 15; i >= 0; --i, v >>= 8)
        b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v);
    char text[INET6_ADDRSTRLEN] = {};
    if (bits == 32)
        inet_ntop(AF_INET, b.data() + 12, text, sizeof text);
    else
        inet_ntop(AF_INET6, b.data(), text, sizeof text);
    return text;
}

// The fewest CIDR blocks that cover a range exactly, at most 64 of them.
std::string RangeCidrs(std::string_view start, std::string_view end) {
    std::array<std::uint8_t, 16> a{}, b{};
    int bitsA = 0, bitsB = 0;
    if (!AddressBits(start, a, bitsA) || !AddressBits(end, b, bitsB) || bitsA != bitsB) return {};
    U128 first = ToNumber(a);
    const U128 last = ToNumber(b);
    if (last < first) return {};
    const auto ones = [](int n) { return n >= 128 ? ~U128{0} : (U128{1} << n) - 1; };
    std::string out;
    for (int n = 0; n < 64; ++n) {
        int host = 0; // the widest block that starts at `first` and ends within `last`
        while (host < bitsA && ((first >> host) & 1) == 0 && first + ones(host + 1) <= last)
            ++host;
        if (!out.empty()) out += ", ";
        out += ToText(first, bitsA) + "/" + std::to_string(bitsA - host);
        const U128 next = first + ones(host);
        if (next >= last) break;
        first = next + 1;
    }
    return out;
}

void RenderNetwork(Lines& out, element doc) {
    const auto start = Str(doc, "startAddress"), end = Str(doc, "endAddress");
    if (!start.empty() || !end.empty()) out.Add("Net Range", {start, "-", end});
    std::string cidrs;
    for (const element c : Arr(doc, "cidr0_cidrs")) {
        auto prefix = Str(c, "v4prefix");
        if (prefix.empty()) prefix = Str(c, "v6prefix");
        std::int64_t length = -1;
        if (prefix.empty() || c.at_key("length").get(length)) continue;
        if (!cidrs.empty()) cidrs += ", ";
        cidrs += std::string(prefix) + "/" + std::to_string(length);
    }
    out.Add("CIDR", cidrs.empty() ? RangeCidrs(start, end) : cidrs);
    RenderFieldsStatusEvents(out, doc,
                             {{"Net Name", "name"},
                              {"Net Handle", "handle"},
                              {"Net Type", "type"},
                              {"IP Version", "ipVersion"},
                              {"Country", "country"},
                              {"Parent", "parentHandle"}});
}

void RenderAutnum(Lines& out, element doc) {
    std::uint64_t first = 0, last = 0;
    const bool hasFirst = !doc.at_key("startAutnum").get(first);
    const bool hasLast = !doc.at_key("endAutnum").get(last);
    if (hasFirst && (!hasLast || last == first))
        out.Add("AS Number", "AS" + std::to_string(first));
    else if (hasFirst)
        out.Add("AS Range", "AS" + std::to_string(first) + " - AS" + std::to_string(last));
    RenderFieldsStatusEvents(out, doc,
                             {{"AS Name", "name"},
                              {"AS Handle", "handle"},
                              {"AS Type", "type"},
                              {"Country", "country"}});
}

void RenderNameserver(Lines& out, element doc) {
    out.Add("Name Server", Str(doc, "ldhName"));
    element ips;
    if (doc.at_key("ipAddresses").get(ips)) return;
    for (const element a : Arr(ips, "v4"))
        out.Add("IPv4 Address", Str(a));
    for (const element a : Arr(ips, "v6"))
        out.Add("IPv6 Address", Str(a));
}

// Fields the server withheld: "<name>: [redacted]" with the reason when one is given.
void RenderRedacted(Lines& out, element doc) {
    for (const element r : Arr(doc, "redacted")) {
        element name, reason;
        std::string_view label, why;
        if (!r.at_key("name").get(name)) {
            label = Str(name, "type");
            if (label.empty()) label = Str(name, "description");
        }
        if (label.empty()) continue;
        if (!r.at_key("reason").get(reason)) {
            why = Str(reason, "description");
            if (why.empty()) why = Str(reason, "type");
        }
        out.Add(label,
                why.empty() ? std::string("[redacted]") : "[redacted: " + std::string(why) + "]");
    }
}

// Remarks or notices: a titled block of lines and its links.
void RenderNotes(Lines& out, element doc, std::string_view key, std::string_view label) {
    for (const element note : Arr(doc, key)) {
        if (!note.is_object()) continue;
        out.Blank();
        const auto title = Str(note, "title");
        out.Add(label, title.empty() ? std::string_view("-") : title);
        for (const element line : Arr(note, "description"))
            out.Indented(Str(line));
        for (const element link : Arr(note, "links"))
            out.Indented(Str(link, "href"));
    }
}

} // namespace

std::string RenderRdap(std::string_view json) {
    simdjson::dom::parser parser;
    if (parser.allocate(json.size(), kRdapMaxDepth)) return {};
    element doc;
    if (parser.parse(json.data(), json.size()).get(doc) || !doc.is_object()) return {};
    Lines out;
    const auto kind = Str(doc, "objectClassName");
    if (kind == "domain")
        RenderDomain(out, doc);
    else if (kind == "ip network")
        RenderNetwork(out, doc);
    else if (kind == "autnum")
        RenderAutnum(out, doc);
    else if (kind == "nameserver")
        RenderNameserver(out, doc);
    else {
        out.Add("Object Class", kind);
        out.Add("Handle", Str(doc, "handle"));
    }
    if (kind == "entity") {
        const std::string who = "Contact";
        RenderCard(out, doc, who);
    }
    RenderEntities(out, doc, "", 0);
    RenderRedacted(out, doc);
    RenderNotes(out, doc, "remarks", "Remark");
    RenderNotes(out, doc, "notices", "Notice");
    if (const auto updated = EventDate(doc, "last update of rdap database"); !updated.empty()) {
        out.Blank();
        out.Add(">>> Last update of RDAP database", std::string(updated) + " <<<");
    }
    return out.Take();
}

std::string PrettyRdapJson(std::string_view json) {
    {
        simdjson::dom::parser parser;
        element doc;
        if (parser.allocate(json.size(), kRdapMaxDepth) ||
            parser.parse(json.data(), json.size()).get(doc))
            return std::string(json);
    }
    // Valid JSON: only the blanks between tokens change, the tokens are copied.
    std::string out;
    out.reserve(json.size() + json.size() / 2);
    int depth = 0;
    const auto newline = [&] {
        out += '\n';
        out.append(static_cast<std::size_t>(depth) * 2, ' ');
    };
    const auto nextToken = [&](std::size_t i) {
        while (i < json.size() &&
               (json[i] == ' ' || json[i] == '\n' || json[i] == '\r' || json[i] == '\t'))
            ++i;
        return i;
    };
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        switch (c) {
        case ' ':
        case '\n':
        case '\r':
        case '\t':
            break;
        case '"': {
            const std::size_t start = i++;
            while (json[i] != '"')
                i += json[i] == '\\' ? 2 : 1;
            out.append(json.substr(start, i - start + 1));
            break;
        }
        case '{':
        case '[': {
            out += c;
            const std::size_t next = nextToken(i + 1);
            if (json[next] == '}' || json[next] == ']') {
                out += json[next];
                i = next;
            } else {
                ++depth;
                newline();
            }
            break;
        }
        case '}':
        case ']':
            --depth;
            newline();
            out += c;
            break;
        case ',':
            out += c;
            newline();
            break;
        case ':':
            out += ": ";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace tesseron
