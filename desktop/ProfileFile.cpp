#include "desktop/ProfileFile.h"

#include "desktop/AtomicFile.h"
#include "desktop/TextUtil.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <sys/stat.h>
#include <unordered_map>

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

// Names (of sections, or of the keys of one section) to the offset of the first line that
// holds them, without regard to ASCII case. An open-addressing table of offsets into the
// file's text: a name costs one slot, never a copy of itself, so a file of many short
// lines stays within a few times its size. `nameAt` gives the name of the line at an
// offset.
class NameIndex {
public:
    template <class NameAt> std::size_t Find(std::string_view name, const NameAt& nameAt) const {
        if (slots_.empty()) return std::string::npos;
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = Hash(name) & mask;; i = (i + 1) & mask) {
            if (slots_[i] == 0) return std::string::npos;
            if (EqualsIgnoringCase(nameAt(slots_[i] - 1), name)) return slots_[i] - 1;
        }
    }

    // Keeps the first line of each name.
    template <class NameAt>
    void Add(std::string_view name, std::size_t offset, const NameAt& nameAt) {
        if ((count_ + 1) * 2 > slots_.size()) Grow(nameAt);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = Hash(name) & mask;; i = (i + 1) & mask) {
            if (slots_[i] == 0) {
                slots_[i] = offset + 1;
                ++count_;
                return;
            }
            if (EqualsIgnoringCase(nameAt(slots_[i] - 1), name)) return;
        }
    }

private:
    static std::size_t Hash(std::string_view name) {
        std::size_t h = 14695981039346656037ull;
        for (const char c : name)
            h = (h ^ static_cast<unsigned char>(AsciiLower(c))) * 1099511628211ull;
        return h;
    }

    template <class NameAt> void Grow(const NameAt& nameAt) {
        std::vector<std::size_t> old(std::max<std::size_t>(16, slots_.size() * 2), 0);
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (const std::size_t slot : old) {
            if (slot == 0) continue;
            std::size_t i = Hash(nameAt(slot - 1)) & mask;
            while (slots_[i] != 0)
                i = (i + 1) & mask;
            slots_[i] = slot;
        }
    }

    std::vector<std::size_t> slots_; // offset + 1; 0 is empty
    std::size_t count_ = 0;
};

} // namespace

// The file's text as it is, with indexes of byte offsets into it: no line is copied, so
// memory stays within a few times the file's size and every step is linear.
struct ProfileFile::Parsed {
    bool exists = false;
    bool unreadable = false; // exists, but its content could not be read
    struct stat st {};
    std::string text;
    bool crlf = false;
    NameIndex sections; // first "[name]" line of each name

    // The keys of a section, indexed when the section is first read.
    mutable std::mutex keysMutex;
    mutable std::unordered_map<std::size_t, std::unique_ptr<NameIndex>> keys;

    // The line starting at `offset`, without its '\n' (a '\r' before it stays); the first
    // line loses a byte-order mark.
    std::string_view LineAt(std::size_t offset) const {
        std::string_view rest = std::string_view(text).substr(offset);
        rest = rest.substr(0, rest.find('\n'));
        if (offset == 0 && rest.substr(0, kBom.size()) == kBom) rest.remove_prefix(kBom.size());
        return rest;
    }
    std::size_t NextLine(std::size_t offset) const {
        const auto nl = text.find('\n', offset);
        return nl == std::string::npos ? text.size() : nl + 1;
    }

    void Index() {
        const auto nameAt = [this](std::size_t at) { return Classify(LineAt(at)).name; };
        for (std::size_t at = 0; at < text.size(); at = NextLine(at)) {
            const auto info = Classify(LineAt(at));
            if (info.kind == LineInfo::Header) sections.Add(info.name, at, nameAt);
        }
    }

    // The offset of the header of the first section `name`, or npos.
    std::size_t Find(std::string_view name) const {
        return sections.Find(name, [this](std::size_t at) { return Classify(LineAt(at)).name; });
    }

    // Calls `visit(offset, info)` for each line of the section whose header is at `header`,
    // up to the next header; stops early when `visit` returns false.
    template <class Visit> void ForEachLine(std::size_t header, const Visit& visit) const {
        for (std::size_t at = NextLine(header); at < text.size(); at = NextLine(at)) {
            const auto info = Classify(LineAt(at));
            if (info.kind == LineInfo::Header || !visit(at, info)) return;
        }
    }

    // The offset of the first entry `key` in the section at `header`, or npos.
    std::size_t FindKey(std::size_t header, std::string_view key, LineInfo* out) const {
        const auto nameAt = [this](std::size_t at) { return Classify(LineAt(at)).name; };
        const NameIndex* index = nullptr;
        {
            std::lock_guard lock(keysMutex);
            auto& slot = keys[header];
            if (!slot) {
                slot = std::make_unique<NameIndex>();
                ForEachLine(header, [&](std::size_t at, const LineInfo& info) {
                    if (info.kind == LineInfo::Entry) slot->Add(info.name, at, nameAt);
                    return true;
                });
            }
            index = slot.get();
        }
        const auto at = index->Find(key, nameAt);
        if (at != std::string::npos && out) *out = Classify(LineAt(at));
        return at;
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
        parsed->text = std::move(content);
        const auto first = parsed->LineAt(0);
        parsed->crlf = !first.empty() && first.back() == '\r';
    }
    parsed->Index();
    cache_ = std::move(parsed);
    return cache_;
}

std::optional<std::string> ProfileFile::Read(std::string_view section, std::string_view key) const {
    const auto parsed = Current();
    const auto header = parsed->Find(section);
    LineInfo info;
    if (header == std::string::npos || parsed->FindKey(header, key, &info) == std::string::npos)
        return std::nullopt;
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
    const auto header = parsed->Find(section);
    if (header == std::string::npos) return keys;
    parsed->ForEachLine(header, [&](std::size_t, const LineInfo& info) {
        if (info.kind == LineInfo::Entry) keys.emplace_back(info.name);
        return true;
    });
    return keys;
}

void ProfileFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
    const auto parsed = Current();
    if (parsed->unreadable) throw ProfileWriteError("Unable to write to " + path_.string());
    const std::string eol = parsed->crlf ? "\r" : "";
    const std::string cleanValue = CleanForLine(value);
    const std::string_view text = parsed->text;
    std::string content;
    content.reserve(text.size() + section.size() + key.size() + cleanValue.size() + 8);
    // Every line written ends in '\n', a last line that had none too.
    const auto appendLines = [&](std::string_view lines) {
        content += lines;
        if (!lines.empty() && lines.back() != '\n') content += '\n';
    };

    const auto header = parsed->Find(section);
    if (header != std::string::npos) {
        LineInfo info;
        const auto at = parsed->FindKey(header, key, &info);
        if (at != std::string::npos) {
            const auto line = parsed->LineAt(at);
            const bool hadCr = !line.empty() && line.back() == '\r';
            appendLines(text.substr(0, at));
            content.append(info.name).append("=").append(cleanValue);
            content += hadCr ? "\r\n" : "\n";
            appendLines(text.substr(parsed->NextLine(at)));
        } else {
            // After the section's last non-blank line, so blank separators stay in front of
            // the next section.
            std::size_t insertAt = parsed->NextLine(header);
            parsed->ForEachLine(header, [&](std::size_t lineAt, const LineInfo&) {
                if (!Trim(parsed->LineAt(lineAt)).empty()) insertAt = parsed->NextLine(lineAt);
                return true;
            });
            appendLines(text.substr(0, insertAt));
            content += CleanForLine(key) + "=" + cleanValue + eol + "\n";
            appendLines(text.substr(insertAt));
        }
    } else {
        appendLines(text);
        content += "[" + CleanForLine(section) + "]" + eol + "\n";
        content += CleanForLine(key) + "=" + cleanValue + eol + "\n";
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
