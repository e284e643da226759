#pragma once

#include "desktop/NonCopyable.h"
#include "desktop/TextUtil.h"

#include "locale/TranslationTarget.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tesseron {

class ProfileFile;

// A language file's text as the changer leaves it when the file is selected: a line
// without "=" is trimmed and, unless empty or ending in "]", gets "=" appended; lines end
// in CR LF; a byte-order mark leads when the file had one. Tidying a tidy text changes
// nothing.
std::string NormaliseLanguageText(std::string_view content);

// A language-file value that a property cannot take; it ends the translation pass.
class TranslationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Translates forms and message texts from a language file: an INI file whose section
// "Translations" holds form keys ("TesseronForm.actWhoIs.Caption=Query") and message
// keys ("sAddress=Address"). The file is read again at every call, so edits take effect
// at once; the only write is the normalisation done when a new file is selected.
class TLangChanger : NonCopyable {
public:
    static constexpr std::string_view kSection = "Translations";
    static constexpr std::string_view kErrorText = "<-- Error -->";
    // The key names of a section are read into a buffer of this many bytes: each name is
    // followed by a zero byte and the list by one more; names that do not fit are not seen.
    static constexpr std::size_t kKeyListBytes = 32768;

    // The forms open at the moment, in the application's order.
    using OpenFormsProvider = std::function<std::vector<std::unique_ptr<TranslationTarget>>()>;

    explicit TLangChanger(OpenFormsProvider openForms = {});
    ~TLangChanger();

    const std::string& LangFile() const noexcept { return langFile_; }
    // Stores the trimmed path and, when it names a file, normalises that file: a line
    // without "=" is trimmed and, unless empty or ending in "]", gets "=" appended; lines
    // end in CR LF. The same (untrimmed) path as stored does nothing. A refused rewrite
    // throws FileWriteError; the path stays stored.
    void SetLangFile(const std::string& path);

    const std::string& Separator() const noexcept { return separator_; }
    // An empty or all-blank text gives ",".
    void SetSeparator(const std::string& separator);

    // Applies every form key of the file whose class matches `form`.
    void TranslateForm(TranslationTarget& form) const;
    // The same for every open form.
    void TranslateForm() const;

    // The key's text with "{ENTER}" expanded, or the key itself when the file lacks it.
    std::string TranslateString(const std::string& key) const;

    // Clears `keys` and fills it with the key names of `section` in file order.
    void ReadSectionKeys(std::string_view section, std::vector<std::string>& keys) const;

    // Assigns `value` to the property that the dotted `path` names, starting at `root`.
    // Unknown names end silently, as do numbers that do not convert; a list value for an
    // object property that cannot take it throws TranslationError.
    void ApplyProperty(TranslationTarget& root, std::string_view path,
                       const std::string& value) const;

    // The items of a list value, split at the separator.
    std::vector<std::string> BuildList(std::string_view value) const;

    static std::string ExpandLineBreaks(std::string_view text);
    static std::string ReplaceAll(std::string_view source, std::string_view pattern,
                                  std::string_view replacement);

private:
    void Translate(const std::vector<TranslationTarget*>& forms) const;
    static void NormaliseFile(const std::string& path);

    std::string langFile_;
    std::string separator_ = ",";
    OpenFormsProvider openForms_;
    std::unique_ptr<ProfileFile> file_; // set while langFile_ is not empty
};

} // namespace tesseron
