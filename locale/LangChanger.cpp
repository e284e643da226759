#include "locale/LangChanger.h"

#include "desktop/AtomicFile.h"
#include "desktop/ProfileFile.h"
#include "desktop/TextUtil.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <sys/stat.h>

namespace tesseron {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// Splits at CR LF, CR or LF; a break at the very end opens no further line.
std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
    return lines;
}

std::pair<std::string_view, std::string_view> SplitAtDot(std::string_view s) {
    const auto dot = s.find('.');
    if (dot == std::string_view::npos) return {std::string_view{}, s};
    return {s.substr(0, dot), s.substr(dot + 1)};
}

std::optional<int64_t> ParseInteger(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Either "." or "," is the decimal mark, whatever the system's number format says.
std::optional<double> ParseFloat(std::string_view text) {
    std::string s(text);
    std::replace(s.begin(), s.end(), ',', '.');
    std::string_view v = s;
    if (!v.empty() && v.front() == '+') v.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
    if (v.empty() || ec != std::errc() || end != v.data() + v.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

TLangChanger::TLangChanger(OpenFormsProvider openForms) : openForms_(std::move(openForms)) {}

TLangChanger::~TLangChanger() = default;

void TLangChanger::SetLangFile(const std::string& path) {
    if (path == langFile_) return;
    langFile_ = std::string(TrimBlanks(path));
    file_ = langFile_.empty() ? nullptr : std::make_unique<ProfileFile>(langFile_);
    std::error_code ec;
    if (!langFile_.empty() && std::filesystem::is_regular_file(langFile_, ec))
        NormaliseFile(langFile_);
}

std::string NormaliseLanguageText(std::string_view content) {
    std::string_view body = content;
    bool bom = body.substr(0, kBom.size()) == kBom;
    if (bom) body.remove_prefix(kBom.size());

    std::string out;
    out.reserve(content.size() + 64);
    bool firstLine = true;
    for (auto& line : SplitLines(body)) {
        if (line.find('=') == std::string::npos) {
            std::string_view trimmed = TrimBlanks(line);
            // Trimming the first line can bring a byte-order mark to the front: it becomes
            // the file's mark, or the next tidy-up would take it for one and trim again.
            while (firstLine && trimmed.substr(0, kBom.size()) == kBom) {
                bom = true;
                trimmed = TrimBlanks(trimmed.substr(kBom.size()));
            }
            line = std::string(trimmed);
            if (!line.empty() && line.back() != ']') line += '=';
        }
        firstLine = false;
        out += line;
        out += "\r\n";
    }
    return bom ? std::string(kBom) + out : out;
}

void TLangChanger::NormaliseFile(const std::string& path) {
    std::string content;
    if (!ReadWholeFile(path, content))
        throw FileWriteError("Unable to write to " + path + ": the file cannot be read");
    const std::string out = NormaliseLanguageText(content);
    // A file that is already in shape is left alone, so a shipped language file in a
    // read-only data folder can still be selected.
    if (out == content) return;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) == 0)
        throw FileWriteError("Unable to write to " + path + ": the file is read-only");
    WriteFileAtomically(path, out);
}

void TLangChanger::SetSeparator(const std::string& separator) {
    separator_ = TrimBlanks(separator).empty() ? std::string(",") : separator;
}

void TLangChanger::TranslateForm(TranslationTarget& form) const {
    Translate({&form});
}

void TLangChanger::TranslateForm() const {
    if (langFile_.empty() || !openForms_) return;
    const auto owned = openForms_();
    std::vector<TranslationTarget*> forms;
    for (const auto& f : owned)
        if (f) forms.push_back(f.get());
    Translate(forms);
}

void TLangChanger::Translate(const std::vector<TranslationTarget*>& forms) const {
    if (langFile_.empty() || forms.empty()) return;
    std::vector<std::string> keys;
    ReadSectionKeys(kSection, keys);
    std::vector<std::string> classes;
    for (const auto* f : forms)
        classes.push_back(AsciiUpper(f->ClassName()));
    for (const auto& key : keys) {
        const auto dot = key.find('.');
        const std::string wanted = "T" + AsciiUpper(key.substr(0, std::min(dot, key.size())));
        const std::string_view path =
            dot == std::string::npos ? std::string_view{} : std::string_view(key).substr(dot + 1);
        for (std::size_t i = 0; i < forms.size(); ++i) {
            if (classes[i] != wanted) continue;
            const auto value = ExpandLineBreaks(file_->ReadString(kSection, key, kErrorText));
            ApplyProperty(*forms[i], path, value);
        }
    }
}

std::string TLangChanger::TranslateString(const std::string& key) const {
    if (langFile_.empty()) return ExpandLineBreaks(key);
    return ExpandLineBreaks(file_->ReadString(kSection, key, key));
}

void TLangChanger::ReadSectionKeys(std::string_view section, std::vector<std::string>& keys) const {
    keys.clear();
    if (!file_) return;
    std::size_t used = 1; // the zero byte that ends the list
    for (auto& name : file_->ReadSectionKeys(section)) {
        used += name.size() + 1;
        if (used > kKeyListBytes) break;
        keys.push_back(std::move(name));
    }
}

void TLangChanger::ApplyProperty(TranslationTarget& root, std::string_view path,
                                 const std::string& value) const {
    std::unique_ptr<TranslationTarget> held; // keeps the current object alive
    TranslationTarget* current = &root;
    if (path.find('.') != std::string_view::npos) {
        auto [name, rest] = SplitAtDot(path);
        if (auto component = root.FindComponent(name)) {
            held = std::move(component);
            current = held.get();
            path = rest;
        }
    }
    while (path.find('.') != std::string_view::npos) {
        auto [name, rest] = SplitAtDot(path);
        if (current->KindOf(name) != PropertyKind::Object) return;
        auto sub = current->SubObject(name);
        if (!sub) return;
        held = std::move(sub);
        current = held.get();
        path = rest;
    }
    switch (current->KindOf(path)) {
    case PropertyKind::None:
        return;
    case PropertyKind::Integer:
        if (const auto n = ParseInteger(value)) current->SetInteger(path, *n);
        return;
    case PropertyKind::Float:
        if (const auto x = ParseFloat(value)) current->SetFloat(path, *x);
        return;
    case PropertyKind::Text:
        current->SetText(path, value);
        return;
    case PropertyKind::StringList:
        current->SetStringList(path, BuildList(value));
        return;
    case PropertyKind::Object:
        throw TranslationError("Cannot assign a list of strings to the property \"" +
                               std::string(path) + "\"");
    }
}

std::vector<std::string> TLangChanger::BuildList(std::string_view value) const {
    std::vector<std::string> items;
    for (auto at = value.find(separator_); at != std::string_view::npos;
         at = value.find(separator_)) {
        items.emplace_back(TrimBlanks(value.substr(0, at)));
        value.remove_prefix(at + separator_.size());
    }
    if (const auto rest = TrimBlanks(value); !rest.empty()) items.emplace_back(rest);
    return items;
}

std::string TLangChanger::ExpandLineBreaks(std::string_view text) {
    return ReplaceAll(text, "{ENTER}", "\r\n");
}

std::string TLangChanger::ReplaceAll(std::string_view source, std::string_view pattern,
                                     std::string_view replacement) {
    if (pattern.empty()) return std::string(source);
    std::string out;
    out.reserve(source.size());
    for (auto at = source.find(pattern); at != std::string_view::npos; at = source.find(pattern)) {
        out.append(source.substr(0, at));
        out.append(replacement);
        source.remove_prefix(at + pattern.size());
    }
    out.append(source);
    return out;
}

} // namespace tesseron
