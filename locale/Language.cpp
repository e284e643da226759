#include "locale/Language.h"

#include "desktop/ProgramPaths.h"
#include "locale/LangChanger.h"
#include "mainwin/Settings.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace tesseron {
namespace {

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

// The language file's path: the folder with its trailing separator, then the name as the
// settings hold it. File names used to ignore letter case, so a name that matches an
// existing file only in case selects that file.
std::string LanguageFilePath(const std::filesystem::path& dir, const std::string& name) {
    std::string folder = dir.string();
    if (folder.empty() || folder.back() != '/') folder += '/';
    std::error_code ec;
    if (name.empty() || name.find('/') != std::string::npos ||
        std::filesystem::exists(folder + name, ec))
        return folder + name;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        const auto candidate = entry.path().filename().string();
        if (SameNameIgnoringCase(candidate, name)) return folder + candidate;
    }
    return folder + name;
}

} // namespace

const std::array<MessageKey, kMessageKeyCount>& MessageKeys() {
    using M = MessageTable;
    static const std::array<MessageKey, kMessageKeyCount> keys{{
        {"sfilehistory", &M::sfilehistory, false},
        {"sDeleteAllResult", &M::sDeleteAllResult, false},
        {"sAddress", &M::sAddress, false},
        {"sServer", &M::sServer, false},
        {"sDate", &M::sDate, false},
        {"sReverseName", &M::sReverseName, true},
        {"sFileCorrupted", &M::sFileCorrupted, false},
        {"sStartWhois", &M::sStartWhois, true},
        {"sQueryServer", &M::sQueryServer, true},
        {"sStopWhoisSucces", &M::sStopWhoisSucces, true},
        {"sStopWhoisFail", &M::sStopWhoisFail, true},
        {"sUpDateFailed", &M::sUpDateFailed, false},
        {"sEmptyWhois", &M::sEmptyWhois, true},
        {"sWhoisNotFind", &M::sWhoisNotFind, true},
        {"sQueryEmpty", &M::sQueryEmpty, false},
        {"sStopWhois", &M::sStopWhois, false},
        {"sIP", &M::sIP, false},
        {"sIPDetermined", &M::sIPDetermined, true},
        {"sDetermineIP", &M::sDetermineIP, true},
        {"sIPNoDetermined", &M::sIPNoDetermined, false},
        {"sTLDS", &M::sTLDS, true},
        {"sServers", &M::sServers, true},
        {"sDetermineReverseName", &M::sDetermineReverseName, true},
        {"sReverseNameDetermined", &M::sReverseNameDetermined, true},
        {"sReverseNameNotDetermined", &M::sReverseNameNotDetermined, false},
        {"sDownloadFailedFrom", &M::sDownloadFailedFrom, true},
        {"sDownloadRefused", &M::sDownloadRefused, false},
        {"sDownloadHostNotFound", &M::sDownloadHostNotFound, false},
        {"sDownloadTimedOut", &M::sDownloadTimedOut, false},
        {"sDownloadInsecure", &M::sDownloadInsecure, false},
        {"sDownloadEmpty", &M::sDownloadEmpty, false},
    }};
    return keys;
}

void LoadLanguage(TLangChanger& changer, MessageTable& messages, const TSettings& settings,
                  const ProgramPaths& paths, const LanguageHooks& hooks) {
    changer.SetLangFile(LanguageFilePath(paths.LanguagesDir(), settings.DefaultLang));
    if (hooks.translateOpenForms)
        hooks.translateOpenForms(changer);
    else
        changer.TranslateForm();
    for (const auto& k : MessageKeys())
        messages.*k.text = changer.TranslateString(std::string(k.key));
    if (hooks.setColumnCaptions) hooks.setColumnCaptions(messages);
}

} // namespace tesseron
