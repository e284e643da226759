#include "locale/Language.h"

#include "desktop/ProgramPaths.h"
#include "desktop/TextUtil.h"
#include "locale/LangChanger.h"
#include "locale/TextFormat.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <iostream>
#include <system_error>

namespace tesseron {
namespace {

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
        if (EqualsIgnoringCase(candidate, name)) return folder + candidate;
    }
    return folder + name;
}

void Warn(const LanguageHooks& hooks, const std::string& sentence) {
    if (hooks.warn)
        hooks.warn(sentence);
    else
        std::cerr << program_invocation_short_name << ": " << sentence << '\n';
}

} // namespace

const std::array<MessageKey, kMessageKeyCount>& MessageKeys() {
    using M = MessageTable;
    static const std::array<MessageKey, kMessageKeyCount> keys{{
        {"sfilehistory", &M::sfilehistory, false, "history.txt"},
        {"sDeleteAllResult", &M::sDeleteAllResult, false, "Delete all results?"},
        {"sAddress", &M::sAddress, false, "Address"},
        {"sServer", &M::sServer, false, "Server"},
        {"sDate", &M::sDate, false, "Date"},
        {"sReverseName", &M::sReverseName, true, "Reverse name: %s"},
        {"sFileCorrupted", &M::sFileCorrupted, false, "The downloaded server list is damaged."},
        {"sStartWhois", &M::sStartWhois, true, "Query %s started"},
        {"sQueryServer", &M::sQueryServer, true, "Asking the WHOIS server %s"},
        {"sStopWhoisSucces", &M::sStopWhoisSucces, true, "Query %s finished"},
        {"sStopWhoisFail", &M::sStopWhoisFail, true, "Query %s failed: no server answered"},
        {"sUpDateFailed", &M::sUpDateFailed, false, "The server list could not be updated."},
        {"sEmptyWhois", &M::sEmptyWhois, true, "The WHOIS server address is empty%s"},
        {"sWhoisNotFind", &M::sWhoisNotFind, true, "No WHOIS server is known for %s"},
        {"sQueryEmpty", &M::sQueryEmpty, false, "The query is empty"},
        {"sStopWhois", &M::sStopWhois, false, "Query stopped"},
        {"sIP", &M::sIP, false, "IP address"},
        {"sIPDetermined", &M::sIPDetermined, true, "IP address: %s"},
        {"sDetermineIP", &M::sDetermineIP, true, "Resolving %s"},
        {"sIPNoDetermined", &M::sIPNoDetermined, false, "The IP address could not be determined"},
        {"sTLDS", &M::sTLDS, true, "Zones: %s"},
        {"sServers", &M::sServers, true, "Servers: %s"},
        {"sDetermineReverseName", &M::sDetermineReverseName, true, "Looking up the name of %s"},
        {"sReverseNameDetermined", &M::sReverseNameDetermined, true, "Name found: %s"},
        {"sReverseNameNotDetermined", &M::sReverseNameNotDetermined, false,
         "The name of the address could not be determined"},
        {"sExchangeTimedOut", &M::sExchangeTimedOut, true,
         "The exchange with %s took too long and was ended"},
        {"sQueryControlChar", &M::sQueryControlChar, true,
         "The address %s holds a control character; nothing was sent"},
        {"sSchemeNotSpoken", &M::sSchemeNotSpoken, true,
         "The server %s was not asked: its address scheme is not supported"},
        {"sIdnSentAs", &M::sIdnSentAs, true, "The name is sent as %s"},
        {"sIdnInvalid", &M::sIdnInvalid, true,
         "Not a valid internationalised name, so nothing was sent: %s"},
        {"sDownloadFailedFrom", &M::sDownloadFailedFrom, true,
         "Nothing could be downloaded from %s:"},
        {"sDownloadRefused", &M::sDownloadRefused, false, "the server refused the connection."},
        {"sDownloadHostNotFound", &M::sDownloadHostNotFound, false,
         "the host name could not be found."},
        {"sDownloadTimedOut", &M::sDownloadTimedOut, false, "the server did not answer in time."},
        {"sDownloadInsecure", &M::sDownloadInsecure, false,
         "a secure connection could not be established."},
        {"sDownloadEmpty", &M::sDownloadEmpty, false, "the server sent nothing."},
        {"sDownloadStatus", &M::sDownloadStatus, false, "the server answered with an error"},
        {"sDownloadTooLarge", &M::sDownloadTooLarge, false, "the file is too large."},
        {"sDownloading", &M::sDownloading, true, "Downloading %s"},
        {"sRdapFileFailed", &M::sRdapFileFailed, true,
         "The registries' file %s was not refreshed; the one in use stays:"},
        {"sRdapFileDamaged", &M::sRdapFileDamaged, false,
         "the download is not a registries' bootstrap file"},
        {"sFileNotReplaced", &M::sFileNotReplaced, false, "the file in use could not be replaced."},
        {"sExchangeFailedWith", &M::sExchangeFailedWith, true, "The exchange with %s failed:"},
        {"sExchangeProxy", &M::sExchangeProxy, false, "the proxy did not pass the connection on."},
        {"sExchangeUnsendable", &M::sExchangeUnsendable, false,
         "the query cannot be sent as it is."},
        {"sExchangeBroken", &M::sExchangeBroken, false, "the connection broke off."},
        {"sExchangeTooLarge", &M::sExchangeTooLarge, false, "the answer is too large."},
        {"sRdapService", &M::sRdapService, true, "Asking the RDAP service %s"},
        {"sRdapNoService", &M::sRdapNoService, true, "No RDAP service is known for %s"},
        {"sRdapAsking", &M::sRdapAsking, true, "Requesting %s"},
        {"sRdapRedirected", &M::sRdapRedirected, true, "Redirected to %s"},
        {"sRdapWaiting", &M::sRdapWaiting, true,
         "The server asks for a pause: waiting %s s before asking once more"},
        {"sRdapRegistrar", &M::sRdapRegistrar, true, "Asking the registrar's RDAP service %s"},
        {"sRdapRegistrarFailed", &M::sRdapRegistrarFailed, true,
         "The registrar's record could not be read, the registry's answer is kept: %s"},
        {"sRdapNotFound", &M::sRdapNotFound, true, "The registry has no record of %s"},
        {"sRdapFailed", &M::sRdapFailed, true, "The RDAP service did not answer: %s"},
    }};
    return keys;
}

bool IsLanguageFileName(std::string_view name) {
    constexpr std::string_view kExtension = ".lng";
    return name.size() > kExtension.size() &&
           EqualsIgnoringCase(name.substr(name.size() - kExtension.size()), kExtension);
}

void LoadLanguage(TLangChanger& changer, MessageTable& messages, const std::string& languageFile,
                  const ProgramPaths& paths, const LanguageHooks& hooks) {
    changer.SetLangFile(LanguageFilePath(paths.LanguagesDir(), languageFile));
    if (hooks.translateOpenForms)
        hooks.translateOpenForms(changer);
    else
        changer.TranslateForm();
    static const MessageTable defaults;
    for (const auto& k : MessageKeys()) {
        std::string text = changer.TranslateString(std::string(k.key));
        if (text == k.key) {
            // A key the file lacks gives the key itself; a text with a default of its own
            // keeps it.
            messages.*k.text = defaults.*k.text;
            continue;
        }
        if (k.takesArgument) {
            try {
                CheckArgumentText(text);
            } catch (const FormatError& e) {
                Warn(hooks, "The language file " + changer.LangFile() + ": " + std::string(k.key) +
                                " is replaced by the English text, as " + e.what() + ".");
                text = std::string(k.english);
            }
        }
        messages.*k.text = std::move(text);
    }
    if (hooks.setColumnCaptions) hooks.setColumnCaptions(messages);
}

} // namespace tesseron
