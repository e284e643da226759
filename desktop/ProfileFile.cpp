#include "desktop/ProfileFile.h"

#include "desktop/AtomicFile.h"
#include "desktop/TextUtil.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <sys/stat.h>

namespace tesseron {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// A line as the reader sees it.
struct LineInfo {
    enum Kind { Other, Header, Entry } kind = Other;
    std::string_view name;  // section name or key
    std::string_view value; // entries only, trimmed, still quoted
};

LineInfo Classify(std::string_view raw) {
    LineInfo info;
    const auto t = Trim(raw);
    if (t.empty() || t.front() == ';') return info;
    if (t.front() == '[') {
        auto inner = t.substr(1);
        const auto close = inner.find(']');
        info.kind = LineInfo::Header;
        info.name = Trim(close == std::string_view::npos ? inner : inner.substr(0, close));
        return info;
    }
    const auto eq = t.find('=');
    if (eq == std::string_view::npos) return info;
    info.kind = LineInfo::Entry;
    info.name = Trim(t.substr(0, eq));
    info.value = Trim(t.substr(eq + 1));
    if (info.name.empty()) info.kind = LineInfo::Other;
    return info;
}

std::string CleanForLine(std::string_view text) {
    // A line break inside a value would split it and could forge other keys.
    std::string out(text);
    std::replace_if(
        out.begin(), out.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return out;
}

// The longest prefix of `s` with at most `count` code points, not ending inside a UTF-8
// sequence. Bytes that start no sequence count as one character each.
std::string_view CutToCharacters(std::string_view s, std::size_t count) {
    std::size_t i = 0;
    for (std::size_t chars = 0; i < s.size() && chars < count; ++chars) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        if (len > 1) {
            std::size_t k = 1;
            while (k < len && i + k < s.size() &&
                   (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80)
                ++k;
            len = k; // a broken sequence counts up to where it breaks
        }
        i += len;
    }
    return s.substr(0, i);
}

} // namespace

struct ProfileFile::Parsed {
    bool exists = false;
    bool unreadable = false; // exists, but its content could not be read
    struct stat st {};
    std::vector<std::string> lines; // without '\n'; a '\r' before it stays
    bool crlf = false;

    struct Section {
        std::string_view name;
        std::size_t header; // line index of "[name]"
        std::size_t end;    // one past the section's last line
    };
    std::vector<Section> sections;

    void Index() {
        sections.clear();
        for (std::size_t i = 0; i < lines.size(); ++i) {
            std::string_view raw = lines[i];
            if (i == 0 && raw.substr(0, kBom.size()) == kBom) raw.remove_prefix(kBom.size());
            const auto info = Classify(raw);
            if (info.kind == LineInfo::Header) {
                if (!sections.empty()) sections.back().end = i;
                sections.push_back({info.name, i, lines.size()});
            }
        }
    }

    const Section* Find(std::string_view name) const {
        for (const auto& s : sections)
            if (EqualsIgnoringCase(s.name, name)) return &s;
        return nullptr;
    }

    // Line index of the first entry `key` in `section`, or npos.
    std::size_t FindKey(const Section& section, std::string_view key, LineInfo* out) const {
        for (std::size_t i = section.header + 1; i < section.end; ++i) {
            const auto info = Classify(lines[i]);
            if (info.kind == LineInfo::Entry && EqualsIgnoringCase(info.name, key)) {
                if (out) *out = info;
                return i;
            }
        }
        return std::string::npos;
    }
};

ProfileFile::ProfileFile(std::filesystem::path path, std::optional<mode_t> mode,
                         FileModeRule modeRule)
    : path_(std::move(path)), mode_(mode), modeRule_(modeRule) {}

std::shared_ptr<const ProfileFile::Parsed> ProfileFile::Current() const {
    std::lock_guard lock(mutex_);
    struct stat st {};
    const int statResult = ::stat(path_.c_str(), &st);
    const bool exists = statResult == 0 && S_ISREG(st.st_mode);
    if (cache_ && !cache_->unreadable && cache_->exists == exists &&
        (!exists ||
         (cache_->st.st_dev == st.st_dev && cache_->st.st_ino == st.st_ino &&
          cache_->st.st_size == st.st_size && cache_->st.st_mtim.tv_sec == st.st_mtim.tv_sec &&
          cache_->st.st_mtim.tv_nsec == st.st_mtim.tv_nsec)))
        return cache_;

    auto parsed = std::make_shared<Parsed>();
    std::string content;
    // A file that is there but hidden from us (no read permission, a folder we may not
    // search) must not look like a missing one, or the first write would replace it.
    parsed->unreadable = (statResult != 0 && errno != ENOENT && errno != ENOTDIR) ||
                         (exists && !ReadWholeFile(path_, content));
    if (exists && !parsed->unreadable) {
        parsed->exists = true;
        parsed->st = st;
        std::size_t start = 0;
        while (start < content.size()) {
            auto nl = content.find('\n', start);
            if (nl == std::string::npos) nl = content.size();
            parsed->lines.emplace_back(content, start, nl - start);
            start = nl + 1;
        }
        parsed->crlf = !parsed->lines.empty() && !parsed->lines.front().empty() &&
                       parsed->lines.front().back() == '\r';
    }
    parsed->Index();
    cache_ = std::move(parsed);
    return cache_;
}

std::optional<std::string> ProfileFile::Read(std::string_view section, std::string_view key) const {
    const auto parsed = Current();
    const auto* s = parsed->Find(section);
    LineInfo info;
    if (!s || parsed->FindKey(*s, key, &info) == std::string::npos) return std::nullopt;
    auto value = info.value;
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return std::string(CutToCharacters(value, kMaxValueLength));
}

std::string ProfileFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const {
    auto v = Read(section, key);
    return v ? std::move(*v) : std::string(defaultValue);
}

int32_t ProfileFile::ReadInteger(std::string_view section, std::string_view key,
                                 int32_t defaultValue) const {
    const auto v = Read(section, key);
    if (!v) return defaultValue;
    return ParseProfileInteger(*v).value_or(defaultValue);
}

bool ProfileFile::ReadBool(std::string_view section, std::string_view key,
                           bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

std::vector<std::string> ProfileFile::ReadSectionKeys(std::string_view section) const {
    const auto parsed = Current();
    std::vector<std::string> keys;
    const auto* s = parsed->Find(section);
    if (!s) return keys;
    for (std::size_t i = s->header + 1; i < s->end; ++i) {
        const auto info = Classify(parsed->lines[i]);
        if (info.kind == LineInfo::Entry) keys.emplace_back(info.name);
    }
    return keys;
}

void ProfileFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
    const auto parsed = Current();
    if (parsed->unreadable) throw ProfileWriteError("Unable to write to " + path_.string());
    std::vector<std::string> lines = parsed->lines;
    const std::string eol = parsed->crlf ? "\r" : "";
    const std::string cleanValue = CleanForLine(value);

    if (const auto* s = parsed->Find(section)) {
        LineInfo info;
        const auto at = parsed->FindKey(*s, key, &info);
        if (at != std::string::npos) {
            const bool hadCr = !lines[at].empty() && lines[at].back() == '\r';
            lines[at] = std::string(info.name) + "=" + cleanValue + (hadCr ? "\r" : "");
        } else {
            // After the section's last non-blank line, so blank separators stay in front of
            // the next section.
            std::size_t insertAt = s->header + 1;
            for (std::size_t i = s->header + 1; i < s->end; ++i)
                if (!Trim(lines[i]).empty()) insertAt = i + 1;
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt),
                         CleanForLine(key) + "=" + cleanValue + eol);
        }
    } else {
        lines.push_back("[" + CleanForLine(section) + "]" + eol);
        lines.push_back(CleanForLine(key) + "=" + cleanValue + eol);
    }

    std::string content;
    for (const auto& line : lines) {
        content += line;
        content += '\n';
    }
    try {
        WriteFileAtomically(path_, content, mode_, modeRule_);
    } catch (const FileWriteError&) {
        throw ProfileWriteError("Unable to write to " + path_.string());
    }
}

void ProfileFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void ProfileFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

std::optional<int32_t> ParseProfileInteger(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const auto digits = text.substr(2);
        if (digits.size() > 8) return std::nullopt;
        uint32_t value = 0;
        const auto [end, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
        if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
        return static_cast<int32_t>(value);
    }
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+') return std::nullopt;
    int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

} // namespace tesseron
