#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

namespace tesseron {

class TLangChanger;
struct ProgramPaths;
struct TSettings;

// Every text the program composes at run time, looked up by its key in the language file.
// Each text starts as its own key, which is also what a key missing from the file gives.
// Texts marked "argument" take one string with Format() (locale/TextFormat.h); the
// others are used as they are.
struct MessageTable {
    std::string sfilehistory = "sfilehistory";         // version-history file name
    std::string sDeleteAllResult = "sDeleteAllResult"; // Clear All question
    std::string sAddress = "sAddress";                 // column and info-tip label
    std::string sServer = "sServer";                   // column and info-tip label
    std::string sDate = "sDate";                       // column and info-tip label
    std::string sReverseName = "sReverseName";         // argument: the reverse name
    std::string sFileCorrupted = "sFileCorrupted";     // damaged server-list download
    std::string sStartWhois = "sStartWhois";           // argument: the query text
    std::string sQueryServer = "sQueryServer";         // argument: the server
    std::string sStopWhoisSucces = "sStopWhoisSucces"; // argument: the query text
    std::string sStopWhoisFail = "sStopWhoisFail";     // argument: the query text
    std::string sUpDateFailed = "sUpDateFailed";       // server-list download failed
    std::string sEmptyWhois = "sEmptyWhois";           // argument: the (empty) server
    std::string sWhoisNotFind = "sWhoisNotFind";       // argument: the query text
    std::string sQueryEmpty = "sQueryEmpty";
    std::string sStopWhois = "sStopWhois";       // the user pressed Close during a query
    std::string sIP = "sIP";                     // info-tip label
    std::string sIPDetermined = "sIPDetermined"; // argument: the address
    std::string sDetermineIP = "sDetermineIP";   // argument: the query text
    std::string sIPNoDetermined = "sIPNoDetermined";
    std::string sTLDS = "sTLDS";                                 // argument: the number of zones
    std::string sServers = "sServers";                           // argument: the number of servers
    std::string sDetermineReverseName = "sDetermineReverseName"; // argument: the address
    std::string sReverseNameDetermined = "sReverseNameDetermined"; // argument: the name
    std::string sReverseNameNotDetermined = "sReverseNameNotDetermined";
    // Why the server-list download brought nothing.
    std::string sDownloadFailedFrom = "sDownloadFailedFrom"; // argument: the host
    std::string sDownloadRefused = "sDownloadRefused";
    std::string sDownloadHostNotFound = "sDownloadHostNotFound";
    std::string sDownloadTimedOut = "sDownloadTimedOut";
    std::string sDownloadInsecure = "sDownloadInsecure";
    std::string sDownloadEmpty = "sDownloadEmpty";
};

struct MessageKey {
    std::string_view key;
    std::string MessageTable::*text;
    bool takesArgument;
};

inline constexpr std::size_t kMessageKeyCount = 31;
// Every key of the table, in the order the texts are filled.
const std::array<MessageKey, kMessageKeyCount>& MessageKeys();

// What the window adds to a language change. Empty hooks are skipped.
struct LanguageHooks {
    // Translates the open windows; when empty, `changer.TranslateForm()` does it with the
    // changer's own list of open forms.
    std::function<void(TLangChanger& changer)> translateOpenForms;
    // Sets the result list's column captions from sAddress, sServer and sDate.
    std::function<void(const MessageTable& messages)> setColumnCaptions;
};

// Selects the language file named by `settings.DefaultLang` in the languages folder
// (a name in other letter case finds the file too), translates the open windows, fills
// every text of `messages` and refreshes the column captions. Without such a file every
// text is its key. Throws when the newly selected file cannot be normalised on disk.
void LoadLanguage(TLangChanger& changer, MessageTable& messages, const TSettings& settings,
                  const ProgramPaths& paths, const LanguageHooks& hooks = {});

} // namespace tesseron
