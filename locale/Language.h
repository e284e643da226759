#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

namespace tesseron {

class TLangChanger;
struct ProgramPaths;

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
    // Texts added later start as their English text, so a language file that predates
    // them still shows a sentence.
    std::string sExchangeTimedOut = // argument: the server
        "The exchange with %s took too long and was ended";
    std::string sQueryControlChar = // argument: the address, control characters written out
        "The address %s holds a control character; nothing was sent";
    std::string sSchemeNotSpoken = // argument: the server
        "The server %s was not asked: its address scheme is not supported";
    std::string sIdnSentAs = // argument: the name's A-label form
        "The name is sent as %s";
    std::string sIdnInvalid = // argument: the name as typed and the reason in brackets
        "Not a valid internationalised name, so nothing was sent: %s";
    // Why the server-list download brought nothing.
    std::string sDownloadFailedFrom = "Nothing could be downloaded from %s:"; // argument: the host
    std::string sDownloadRefused = "the server refused the connection.";
    std::string sDownloadHostNotFound = "the host name could not be found.";
    std::string sDownloadTimedOut = "the server did not answer in time.";
    std::string sDownloadInsecure = "a secure connection could not be established.";
    std::string sDownloadEmpty = "the server sent nothing.";
    std::string sDownloadStatus = "the server answered with an error"; // then "(HTTP 404)"
    std::string sDownloadTooLarge = "the file is too large.";
    // The update's progress and the registries' bootstrap files it refreshes.
    std::string sDownloading = "Downloading %s"; // argument: the address
    std::string sRdapFileFailed =                // argument: the file's name
        "The registries' file %s was not refreshed; the one in use stays:";
    std::string sRdapFileDamaged = "the download is not a registries' bootstrap file";
    std::string sFileNotReplaced = "the file in use could not be replaced.";
    // Why the exchange with a server failed; the download's reasons serve too.
    std::string sExchangeFailedWith = "The exchange with %s failed:"; // argument: the server
    std::string sExchangeProxy = "the proxy did not pass the connection on.";
    std::string sExchangeUnsendable = "the query cannot be sent as it is.";
    std::string sExchangeBroken = "the connection broke off.";
    std::string sExchangeTooLarge = "the answer is too large.";
    // The steps of an RDAP query.
    std::string sRdapService = // argument: the service's base address
        "Asking the RDAP service %s";
    std::string sRdapNoService = // argument: the query text
        "No RDAP service is known for %s";
    std::string sRdapAsking = // argument: the address asked
        "Requesting %s";
    std::string sRdapRedirected = // argument: the new address
        "Redirected to %s";
    std::string sRdapWaiting = // argument: the seconds
        "The server asks for a pause: waiting %s s before asking once more";
    std::string sRdapRegistrar = // argument: the registrar's address
        "Asking the registrar's RDAP service %s";
    std::string sRdapRegistrarFailed = // argument: the cause
        "The registrar's record could not be read, the registry's answer is kept: %s";
    std::string sRdapNotFound = // argument: the query text
        "The registry has no record of %s";
    std::string sRdapFailed = // argument: the cause
        "The RDAP service did not answer: %s";
};

struct MessageKey {
    std::string_view key;
    std::string MessageTable::*text;
    bool takesArgument;
    // What a language text that cannot take its argument is replaced by.
    std::string_view english;
};

inline constexpr std::size_t kMessageKeyCount = 56;
// Every key of the table, in the order the texts are filled.
const std::array<MessageKey, kMessageKeyCount>& MessageKeys();

// What the window adds to a language change. Empty hooks are skipped.
struct LanguageHooks {
    // Translates the open windows; when empty, `changer.TranslateForm()` does it with the
    // changer's own list of open forms.
    std::function<void(TLangChanger& changer)> translateOpenForms;
    // Sets the result list's column captions from sAddress, sServer and sDate.
    std::function<void(const MessageTable& messages)> setColumnCaptions;
    // One sentence per problem of the file; when empty, it goes to standard error.
    std::function<void(const std::string& sentence)> warn;
};

// Whether a file of the languages folder is listed in the language menu: a name ending in
// ".lng" in any letter case, with something before it.
bool IsLanguageFileName(std::string_view name);

// Selects the language file named `languageFile` (the DefaultLang setting) in the languages folder
// (a name in other letter case finds the file too), translates the open windows, fills
// every text of `messages` and refreshes the column captions. Without such a file every
// text is its key. A text that takes an argument but has no single "%s" for it is
// replaced by its English text, with one warning naming the key. Throws when the newly
// selected file cannot be normalised on disk.
void LoadLanguage(TLangChanger& changer, MessageTable& messages, const std::string& languageFile,
                  const ProgramPaths& paths, const LanguageHooks& hooks = {});

} // namespace tesseron
