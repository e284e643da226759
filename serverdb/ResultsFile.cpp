#include "serverdb/ResultsFile.h"

#include "desktop/AtomicFile.h"
#include "desktop/TextUtil.h"
#include "serverdb/XmlNodes.h"
#include "serverdb/XmlSource.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tesseron {
namespace {

// The fields in the order they are written and read.
// The last two are written only for an RDAP answer, so a port-43 entry stays as it always
// was and a reader that does not know them still finds the text in RawAnswer.
constexpr std::array<std::string_view, 10> kFields = {
    "QueryString", "ServerName", "QueryDate",   "QueryType", "RawAnswer",
    "ErrorCode",   "IpAddress",  "ReverseName", "Protocol",  "RdapJson"};
constexpr const char* kEscapedAttribute = "escaped";
// Far beyond the three levels of an entry, well short of what a tree of nested elements
// would cost.
constexpr int kMaxElementDepth = 100;

// ---- writing ----

enum ByteKind : unsigned char { kOrdinary, kMarkup, kControl, kHigh, kBackslash };

// How each byte is written. XML 1.0 has no way to write kControl bytes, even as
// references; kHigh bytes must start a UTF-8 sequence.
constexpr std::array<unsigned char, 256> MakeKinds(bool escapedForm) {
    std::array<unsigned char, 256> k{};
    for (int c = 0; c < 0x20; ++c)
        k[c] = kControl;
    k['\t'] = k['\n'] = kOrdinary;
    k['\r'] = k['&'] = k['<'] = k['>'] = kMarkup;
    for (int c = 0x80; c < 0x100; ++c)
        k[c] = kHigh;
    if (escapedForm) k['\\'] = kBackslash;
    return k;
}
constexpr auto kPlainKinds = MakeKinds(false);
constexpr auto kEscapedKinds = MakeKinds(true);

// Length of the UTF-8 sequence at `i` when XML can carry it, else 0.
std::size_t CarriableUtf8Length(std::string_view s, std::size_t i) {
    const std::size_t len = Utf8SequenceLength(s, i);
    // XML has no U+FFFE or U+FFFF.
    if (len == 3 && static_cast<unsigned char>(s[i]) == 0xEF &&
        static_cast<unsigned char>(s[i + 1]) == 0xBF &&
        static_cast<unsigned char>(s[i + 2]) >= 0xBE)
        return 0;
    return len;
}

void AppendMarkup(std::string& out, char c) {
    switch (c) {
    case '&':
        out += "&amp;";
        break;
    case '<':
        out += "&lt;";
        break;
    case '>':
        out += "&gt;";
        break;
    default:
        out += "&#13;";
        break; // a raw CR would be read back as a line feed
    }
}

// Appends `s` as element text. Returns false, with `out` partly written, when the value
// needs the escaped form. Ordinary bytes are copied in runs.
bool AppendPlain(std::string& out, std::string_view s) {
    const char* data = s.data();
    std::size_t run = 0, i = 0;
    while (i < s.size()) {
        const unsigned char kind = kPlainKinds[static_cast<unsigned char>(data[i])];
        if (kind == kOrdinary) {
            ++i;
        } else if (kind == kHigh) {
            const std::size_t len = CarriableUtf8Length(s, i);
            if (len == 0) return false;
            i += len;
        } else if (kind == kMarkup) {
            out.append(data + run, i - run);
            AppendMarkup(out, data[i]);
            run = ++i;
        } else {
            return false;
        }
    }
    out.append(data + run, i - run);
    return true;
}

void AppendEscaped(std::string& out, std::string_view s) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = 1;
        switch (kEscapedKinds[c]) {
        case kOrdinary:
            out += s[i];
            break;
        case kMarkup:
            AppendMarkup(out, s[i]);
            break;
        case kBackslash:
            out += "\\\\";
            break;
        case kHigh:
            if ((len = CarriableUtf8Length(s, i)) != 0) {
                out.append(s.substr(i, len));
                break;
            }
            len = 1;
            [[fallthrough]];
        default:
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
        i += len;
    }
}

void AppendElement(std::string& out, std::string_view name, std::string_view value) {
    out += "    <";
    out += name;
    if (value.empty()) {
        out += "/>\n";
        return;
    }
    out += '>';
    const std::size_t start = out.size();
    if (!AppendPlain(out, value)) {
        out.resize(start - 1);
        out += " escaped=\"true\">";
        AppendEscaped(out, value);
    }
    out += "</";
    out += name;
    out += ">\n";
}

} // namespace

std::string FormatResultsFile(const TWhoisResultCollection& results) {
    std::size_t size = 128;
    for (int i = 0; i < results.Count(); ++i) {
        const TWhoisResultItem& r = results[i];
        size += 320 + r.QueryString.size() + r.ServerName.size() + r.QueryDate.size() +
                r.RawAnswer.size() + r.RawAnswer.size() / 16 + r.IpAddress.size() +
                r.ReverseName.size() + r.Protocol.size() + r.RdapJson.size() +
                r.RdapJson.size() / 16;
    }
    std::string out;
    out.reserve(size);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    if (results.Count() == 0) return out += "<WhoisResult/>\n";
    out += "<WhoisResult>\n";
    for (int i = 0; i < results.Count(); ++i) {
        const TWhoisResultItem& r = results[i];
        char code[16];
        const auto end = std::to_chars(code, code + sizeof code, r.ErrorCode).ptr;
        out += "  <Result>\n";
        AppendElement(out, kFields[0], r.QueryString);
        AppendElement(out, kFields[1], r.ServerName);
        AppendElement(out, kFields[2], r.QueryDate);
        AppendElement(out, kFields[3], r.QueryType == QueryAsDomain ? "0" : "-1");
        AppendElement(out, kFields[4], r.RawAnswer);
        AppendElement(out, kFields[5],
                      std::string_view(code, static_cast<std::size_t>(end - code)));
        AppendElement(out, kFields[6], r.IpAddress);
        AppendElement(out, kFields[7], r.ReverseName);
        if (!r.Protocol.empty()) {
            AppendElement(out, kFields[8], r.Protocol);
            AppendElement(out, kFields[9], r.RdapJson);
        }
        out += "  </Result>\n";
    }
    return out += "</WhoisResult>\n";
}

namespace {

// ---- reading ----

// A parse error: its reason and where in the document it was found.
struct ParseFailure {
    std::string reason;
    std::size_t offset;
};

std::string ParseMessage(const ParseFailure& f, std::string_view document) {
    const std::size_t at = std::min(f.offset, document.size());
    const auto line =
        1 + std::count(document.begin(), document.begin() + static_cast<long>(at), '\n');
    return f.reason + "\nLine: " + std::to_string(line);
}

TQueryType QueryTypeOf(const std::string& text) {
    std::string_view v = TrimXmlBlanks(text);
    if (EqualsIgnoringCase(v, "true")) return QueryAsAddress;
    if (EqualsIgnoringCase(v, "false")) return QueryAsDomain;
    if (!v.empty() && (v[0] == '+' || v[0] == '-')) v.remove_prefix(1);
    double number = 0;
    // Digits or a point first: from_chars would also take "inf" and "nan".
    if (!v.empty() && ((v[0] >= '0' && v[0] <= '9') || v[0] == '.')) {
        const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), number);
        if (ec == std::errc() && end == v.data() + v.size())
            return number == 0 ? QueryAsDomain : QueryAsAddress;
    }
    throw ResultsFileError("'" + text + "' is not a valid boolean value");
}

std::int32_t ErrorCodeOf(const std::string& text) {
    const auto value = ParseXmlInt32(text);
    if (!value) throw ResultsFileError("'" + text + "' is not a valid integer value");
    return *value;
}

// Reverses the escaped form in place; a backslash not followed by an escape stays.
void Unescape(std::string& s) {
    std::size_t w = 0;
    for (std::size_t r = 0; r < s.size(); ++r) {
        if (s[r] == '\\' && r + 1 < s.size() && s[r + 1] == '\\') {
            ++r;
        } else if (s[r] == '\\' && r + 3 < s.size() && s[r + 1] == 'x' &&
                   HexDigitValue(s[r + 2]) >= 0 && HexDigitValue(s[r + 3]) >= 0) {
            s[w++] = static_cast<char>(HexDigitValue(s[r + 2]) * 16 + HexDigitValue(s[r + 3]));
            r += 3;
            continue;
        }
        s[w++] = s[r];
    }
    s.resize(w);
}

// The text of a value element into `out`: empty when absent or empty; text and CDATA
// pieces (split only by a dropped comment) joined; an element child is an error.
void ReadValue(pugi::xml_node e, std::string& out) {
    out.clear();
    if (!e) return;
    if (!AppendElementText(e, out)) throw ResultsFileError(kNotSingleText);
    if (std::strcmp(e.attribute(kEscapedAttribute).value(), "true") == 0) Unescape(out);
}

bool WhitespaceOnly(const char* s) {
    for (; *s; ++s)
        if (*s != ' ' && *s != '\t' && *s != '\n' && *s != '\r') return false;
    return true;
}

// Parses `document` and appends its entries. UTF-8 is parsed in place (the buffer is
// changed); a document in another encoding is decoded first, as the server list is.
// Throws ParseFailure (offsets into `document`) or ResultsFileError before anything is
// appended, ResultsFileError for a value.
void ParseInPlace(std::string& document, TWhoisResultCollection& results) {
    std::string converted;
    std::string_view text;
    try {
        // Not checked for UTF-8: hand-edited files with stray 8-bit bytes have always been
        // read, and the bytes of an answer are kept as they are.
        text = DecodeXmlSource(document, converted, false);
    } catch (const XmlSourceError& e) {
        throw ResultsFileError(e.what());
    }
    const bool decoded = text.data() == converted.data();
    const std::size_t skip = decoded ? 0 : static_cast<std::size_t>(text.data() - document.data());
    const auto fail = [&](std::string reason, std::size_t offset) {
        // A decoded document is parsed from a copy, so `text` is still whole for the line.
        if (decoded) throw ResultsFileError(ParseMessage({std::move(reason), offset}, text));
        throw ParseFailure{std::move(reason), skip + offset};
    };
    // Entries are three elements deep; a deeper file is refused before the parser builds a
    // tree, which would cost many times the file's size.
    if (const auto at = FindTooDeepElement(text, kMaxElementDepth))
        fail("Elements are nested more than " + std::to_string(kMaxElementDepth) + " levels deep",
             *at);
    pugi::xml_document doc;
    // Whitespace-only text is kept only as the sole content of an element, so a value
    // made of blanks survives while indentation between elements is dropped.
    const unsigned options =
        pugi::parse_cdata | pugi::parse_escapes | pugi::parse_eol | pugi::parse_ws_pcdata_single;
    const pugi::xml_parse_result result =
        decoded ? doc.load_buffer(text.data(), text.size(), options, pugi::encoding_utf8)
                : doc.load_buffer_inplace(document.data() + skip, document.size() - skip, options,
                                          pugi::encoding_utf8);
    if (!result) fail(result.description(), static_cast<std::size_t>(result.offset));
    if (const auto at = ContentOutsideRoot(doc, text.size()))
        fail("Content outside the document element", *at);
    const pugi::xml_node root = doc.document_element();

    for (pugi::xml_node node = root.first_child(); node; node = node.next_sibling()) {
        if (node.type() == pugi::node_pcdata && WhitespaceOnly(node.value())) continue;
        TWhoisResultItem& item = results.Add();
        const auto e = FirstChildren(node, kFields);
        std::string text;
        ReadValue(e[0], item.QueryString);
        ReadValue(e[1], item.ServerName);
        ReadValue(e[2], item.QueryDate);
        if (e[3]) {
            ReadValue(e[3], text);
            item.QueryType = QueryTypeOf(text);
        }
        ReadValue(e[4], item.RawAnswer);
        if (e[5]) {
            ReadValue(e[5], text);
            item.ErrorCode = ErrorCodeOf(text);
        }
        ReadValue(e[6], item.IpAddress);
        ReadValue(e[7], item.ReverseName);
        ReadValue(e[8], item.Protocol);
        ReadValue(e[9], item.RdapJson);
    }
}

bool SamePath(const std::string& a, const std::string& b) {
    std::error_code ea, eb;
    const auto ca = std::filesystem::weakly_canonical(a, ea);
    const auto cb = std::filesystem::weakly_canonical(b, eb);
    return ea || eb ? a == b : ca == cb;
}

// Keeps the file at `path` as "<path>.damaged", replacing an older copy, without reading
// it when a hard link can be made (the file may be unreadable).
void KeepDamagedCopy(const std::string& path) {
    const std::string damaged = path + ".damaged";
    const std::string staging = damaged + ".tmp";
    ::unlink(staging.c_str());
    // Following a symbolic link: its target is what the load read (the save then refuses
    // to write over the link itself).
    if (::linkat(AT_FDCWD, path.c_str(), AT_FDCWD, staging.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        if (::rename(staging.c_str(), damaged.c_str()) == 0) return;
        ::unlink(staging.c_str());
    } else if (errno == ENOENT) {
        return; // nothing left to keep
    }
    std::string bytes;
    bool read = false;
    try {
        read = ReadWholeFile(path, bytes);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
    }
    if (!read)
        throw ResultsFileError("The results were not saved: the damaged results file \"" + path +
                               "\" could not be kept (" + std::strerror(errno) + ")");
    try {
        WriteFileAtomically(damaged, bytes);
    } catch (const FileWriteError& e) {
        throw ResultsFileError("The results were not saved: the damaged results file could not "
                               "be kept. " +
                               std::string(e.what()));
    }
}

} // namespace

void ReadResultsFile(std::string_view document, TWhoisResultCollection& results) {
    std::string copy(document);
    try {
        ParseInPlace(copy, results);
    } catch (const ParseFailure& f) {
        throw ResultsFileError(ParseMessage(f, document));
    }
}

void TWhoisResultCollection::LoadFromFile(const std::string& path) {
    // Marked before the first byte is read: whatever stops the load (memory running out
    // included), the file is kept before anything is written over it.
    const std::string previous = std::exchange(damagedPath_, path);
    std::string document;
    try {
        if (!ReadWholeFile(path, document)) {
            const int err = errno;
            if (err == ENOENT) {
                // A first start: no results yet. A damaged copy asked for earlier stays asked.
                damagedPath_ = !previous.empty() && !SamePath(previous, path) ? previous : "";
                return;
            }
            throw ResultsFileError("Cannot read the results file \"" + path +
                                   "\": " + std::strerror(err));
        }
        try {
            ParseInPlace(document, *this);
        } catch (const ParseFailure& f) {
            // The parse changed the buffer; count lines in the file as it is.
            std::string().swap(document);
            std::string pristine;
            ReadWholeFile(path, pristine);
            throw ResultsFileError(ParseMessage(f, pristine));
        }
    } catch (const std::bad_alloc&) {
        throw ResultsFileError("The results file \"" + path +
                               "\" is too large to be read into memory.");
    }
    damagedPath_.clear();
}

void TWhoisResultCollection::SaveToFile(const std::string& path) {
    const std::string document = FormatResultsFile(*this);
    const bool keepDamaged = !damagedPath_.empty() && SamePath(damagedPath_, path);
    if (keepDamaged) KeepDamagedCopy(path);
    try {
        WriteFileAtomically(path, document);
    } catch (const FileWriteError& e) {
        throw ResultsFileError(e.what());
    }
    if (keepDamaged) damagedPath_.clear();
}

} // namespace tesseron
