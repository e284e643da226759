#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>

namespace tesseron {

class DesktopRegistration;
class ProfileFile;
struct ProgramPaths;

// The settings record: one field per key of the settings file, named as the key.
struct TSettings {
    // [Defaults]
    bool bUseRating = true;
    bool bShowRawAnswer = false;
    bool bAsDomain = true;
    std::string DefaultLang = "english.lng";
    int32_t HistoryLines = 8;
    int32_t pnlQureyWidth = 300;
    int32_t whoisTimeout = 5000;
    uint8_t PropWNDQuery = 0;
    bool UpdateIfExists = true;
    bool bSmartFilterURL = true;
    bool DetermineIpAddress = true;
    bool DetermineReverseName = true;
    int32_t TextColor = static_cast<int32_t>(0xFF000008u);       // window text
    int32_t BackgroundColor = static_cast<int32_t>(0xFF000005u); // window background
    std::string FontName = "Arial";
    int32_t FontSize = 10;
    uint8_t FontStyle = 0; // bits: 1 bold, 2 italic, 4 underline, 8 strike-out
    int32_t MaxWhoisResults = 50;
    // 0 port 43 only, 1 RDAP when port 43 has no server or none answered, 2 RDAP first.
    int32_t RdapMode = 1;
    // [Default]
    std::string WhoisFileLink = DefaultWhoisFileLink();
    // Where the registries' bootstrap files (dns.json, ...) are refreshed from.
    std::string RdapBootstrapUrl = "https://data.iana.org/rdap/";
    // [Proxy]
    std::string proxyUserName;
    std::string proxyPassword;
    int32_t proxyAuthentication = 0;
    std::string proxyHost;
    int32_t proxyPort = 1080;
    int32_t proxyVersion = 0;

    // Filled at load time, never written to the settings file.
    std::string ServerListPath;
    std::string ResultsPath;
    bool StartWithWindows = false; // registered to start with the desktop session
    bool IntegrateToIE = false;    // the browser button is registered

    static std::string DefaultWhoisFileLink();
    bool operator==(const TSettings&) const = default;
};

// How a number read from the settings file is fitted before use: its bits are masked (the
// users of some keys look at the low byte only), then it is brought into [min, max], the
// range the options dialog allows.
struct NumberFit {
    int32_t mask = ~0;
    int32_t min = INT32_MIN;
    int32_t max = INT32_MAX;
};

// One key of the settings file and the field of the record that holds it. A one-byte field
// keeps only its masked bits on the way out too.
struct SettingKey {
    const char* section;
    const char* key;
    std::variant<bool TSettings::*, int32_t TSettings::*, uint8_t TSettings::*,
                 std::string TSettings::*>
        member;
    NumberFit fit = {};
};

// Every key of [Defaults], [Default] and [Proxy], in the order they are saved. A new
// setting is a field of TSettings (with its default) and a row here.
std::span<const SettingKey> SettingKeys();

// The range of a number field, as the options dialog offers it. Throws std::logic_error
// for a field that no key holds.
struct IntRange {
    int32_t min;
    int32_t max;
};
IntRange SettingRange(int32_t TSettings::*member);

// Reads every key into `settings`, the two paths from `paths`, and then asks `registration`
// whether the program is registered with the desktop (none: it is not).
// Missing or unparsable values give the key's default; numbers are fitted (NumberFit).
void LoadSettings(const ProfileFile& file, const ProgramPaths& paths, TSettings& settings,
                  const DesktopRegistration* registration = nullptr);

// Writes every key of [Defaults], [Default] and [Proxy] in the save order, one write each.
// Throws ProfileWriteError at the first refused write; later keys are not written.
void SaveSettings(ProfileFile& file, const TSettings& settings);

// The main window's placement, kept beside the settings.
struct WindowPlacement {
    int32_t top = 0;
    int32_t left = 0;
    int32_t width = 722;
    int32_t height = 564;
};
enum class WindowStateValue : int32_t { Normal = 0, Minimized = 1, Maximized = 2 };

// `designed` supplies the defaults (the window's designed size at 0,0).
WindowPlacement ReadWindowPlacement(const ProfileFile& file, const WindowPlacement& designed);
// The stored state as read; values outside 0-2 are returned as they are.
int32_t ReadWindowState(const ProfileFile& file);
// The position is written only while the window is in its normal state, so the file keeps
// the last normal bounds; the state is always written.
void SaveWindowPlacement(ProfileFile& file, WindowStateValue state, const WindowPlacement& bounds);

} // namespace tesseron
