#include "mainwin/Settings.h"

#include "app/TesseronVersion.h"
#include "desktop/ProgramPaths.h"
#include "mainwin/ProfileFile.h"

#include <algorithm>

namespace tesseron {
namespace {

constexpr const char* kDefaults = "Defaults";
constexpr const char* kDefault = "Default";
constexpr const char* kProxy = "Proxy";
constexpr const char* kWindowPosition = "Window Position";
constexpr const char* kWindowState = "Window State";

// The ranges the options dialog allows; a hand-edited file can hold anything, and a value
// outside them misleads the code that uses it (no history at all, a store that keeps
// nothing).
constexpr int32_t kHistoryLinesRange[] = {1, 100};
constexpr int32_t kMaxWhoisResultsRange[] = {1, 1000};
constexpr int32_t kWhoisTimeoutRange[] = {0, 20000};
constexpr int32_t kProxyPortRange[] = {1, 65535};

int32_t Clamp(int32_t value, const int32_t (&range)[2]) {
    return std::clamp(value, range[0], range[1]);
}

// The users of these keys look at the low byte only; within it, the choices the dialog
// offers: 0-2 closing modes, 0-3 proxy kinds, authentication off or on.
uint8_t LowByteClamped(int32_t value, uint8_t max) {
    return std::min(static_cast<uint8_t>(value & 0xFF), max);
}

} // namespace

std::string TSettings::DefaultWhoisFileLink() {
    return std::string(version::kMakerUrl) + "/tesseron/whois.xml";
}

void LoadSettings(const ProfileFile& f, const ProgramPaths& paths, TSettings& s,
                  const DesktopRegistration& registration) {
    const TSettings d; // defaults
    s.ServerListPath = paths.ServerListFile().string();
    s.ResultsPath = paths.ResultsFile().string();

    s.bUseRating = f.ReadBool(kDefaults, "bUseRating", d.bUseRating);
    s.bShowRawAnswer = f.ReadBool(kDefaults, "bShowRawAnswer", d.bShowRawAnswer);
    s.bAsDomain = f.ReadBool(kDefaults, "bAsDomain", d.bAsDomain);
    s.DefaultLang = f.ReadString(kDefaults, "DefaultLang", d.DefaultLang);
    s.HistoryLines =
        Clamp(f.ReadInteger(kDefaults, "HistoryLines", d.HistoryLines), kHistoryLinesRange);
    s.pnlQureyWidth = f.ReadInteger(kDefaults, "pnlQureyWidth", d.pnlQureyWidth);
    s.whoisTimeout =
        Clamp(f.ReadInteger(kDefaults, "whoisTimeout", d.whoisTimeout), kWhoisTimeoutRange);

    s.proxyUserName = f.ReadString(kProxy, "proxyUserName", d.proxyUserName);
    s.proxyPassword = f.ReadString(kProxy, "proxyPassword", d.proxyPassword);
    s.proxyAuthentication =
        LowByteClamped(f.ReadInteger(kProxy, "proxyAuthentication", d.proxyAuthentication), 1);
    s.proxyHost = f.ReadString(kProxy, "proxyHost", d.proxyHost);
    s.proxyPort = Clamp(f.ReadInteger(kProxy, "proxyPort", d.proxyPort), kProxyPortRange);
    s.proxyVersion = LowByteClamped(f.ReadInteger(kProxy, "proxyVersion", d.proxyVersion), 3);

    s.WhoisFileLink = f.ReadString(kDefault, "WhoisFileLink", d.WhoisFileLink);

    s.DetermineIpAddress = f.ReadBool(kDefaults, "DetermineIpAddress", d.DetermineIpAddress);
    s.DetermineReverseName = f.ReadBool(kDefaults, "DetermineReverseName", d.DetermineReverseName);
    s.UpdateIfExists = f.ReadBool(kDefaults, "UpdateIfExists", d.UpdateIfExists);

    s.StartWithWindows =
        registration.isAutostartRegistered ? registration.isAutostartRegistered() : false;
    s.IntegrateToIE =
        registration.isBrowserButtonRegistered ? registration.isBrowserButtonRegistered() : false;

    s.PropWNDQuery = LowByteClamped(f.ReadInteger(kDefaults, "PropWNDQuery", d.PropWNDQuery), 2);
    s.TextColor = f.ReadInteger(kDefaults, "TextColor", d.TextColor);
    s.BackgroundColor = f.ReadInteger(kDefaults, "BackgroundColor", d.BackgroundColor);
    s.FontName = f.ReadString(kDefaults, "FontName", d.FontName);
    s.FontSize = f.ReadInteger(kDefaults, "FontSize", d.FontSize);
    s.FontStyle = static_cast<uint8_t>(f.ReadInteger(kDefaults, "FontStyle", d.FontStyle) & 0x0F);
    s.MaxWhoisResults = Clamp(f.ReadInteger(kDefaults, "MaxWhoisResults", d.MaxWhoisResults),
                              kMaxWhoisResultsRange);
    s.bSmartFilterURL = f.ReadBool(kDefaults, "bSmartFilterURL", d.bSmartFilterURL);
}

void SaveSettings(ProfileFile& f, const TSettings& s) {
    f.WriteString(kDefaults, "DefaultLang", s.DefaultLang);
    f.WriteBool(kDefaults, "bUseRating", s.bUseRating);
    f.WriteBool(kDefaults, "bAsDomain", s.bAsDomain);
    f.WriteBool(kDefaults, "bShowRawAnswer", s.bShowRawAnswer);
    f.WriteInteger(kDefaults, "HistoryLines", s.HistoryLines);
    f.WriteInteger(kDefaults, "pnlQureyWidth", s.pnlQureyWidth);
    f.WriteInteger(kDefaults, "whoisTimeout", s.whoisTimeout);
    f.WriteInteger(kDefaults, "PropWNDQuery", s.PropWNDQuery);
    f.WriteBool(kDefaults, "UpdateIfExists", s.UpdateIfExists);
    f.WriteBool(kDefaults, "bSmartFilterURL", s.bSmartFilterURL);
    f.WriteBool(kDefaults, "DetermineIpAddress", s.DetermineIpAddress);
    f.WriteBool(kDefaults, "DetermineReverseName", s.DetermineReverseName);

    f.WriteString(kDefault, "WhoisFileLink", s.WhoisFileLink);

    f.WriteString(kProxy, "proxyUserName", s.proxyUserName);
    f.WriteString(kProxy, "proxyPassword", s.proxyPassword);
    f.WriteInteger(kProxy, "proxyAuthentication", s.proxyAuthentication);
    f.WriteString(kProxy, "proxyHost", s.proxyHost);
    f.WriteInteger(kProxy, "proxyPort", s.proxyPort);
    f.WriteInteger(kProxy, "proxyVersion", s.proxyVersion);

    f.WriteInteger(kDefaults, "TextColor", s.TextColor);
    f.WriteInteger(kDefaults, "BackgroundColor", s.BackgroundColor);
    f.WriteString(kDefaults, "FontName", s.FontName);
    f.WriteInteger(kDefaults, "FontSize", s.FontSize);
    f.WriteInteger(kDefaults, "FontStyle", s.FontStyle & 0x0F);
    f.WriteInteger(kDefaults, "MaxWhoisResults", s.MaxWhoisResults);
}

WindowPlacement ReadWindowPlacement(const ProfileFile& f, const WindowPlacement& designed) {
    WindowPlacement p;
    p.top = f.ReadInteger(kWindowPosition, "Top", 0);
    p.left = f.ReadInteger(kWindowPosition, "Left", 0);
    p.width = f.ReadInteger(kWindowPosition, "Width", designed.width);
    p.height = f.ReadInteger(kWindowPosition, "Height", designed.height);
    return p;
}

int32_t ReadWindowState(const ProfileFile& f) {
    return f.ReadInteger(kWindowState, "WindowState", 0);
}

void SaveWindowPlacement(ProfileFile& f, WindowStateValue state, const WindowPlacement& b) {
    if (state == WindowStateValue::Normal) {
        f.WriteInteger(kWindowPosition, "Top", b.top);
        f.WriteInteger(kWindowPosition, "Left", b.left);
        f.WriteInteger(kWindowPosition, "Width", b.width);
        f.WriteInteger(kWindowPosition, "Height", b.height);
    }
    f.WriteInteger(kWindowState, "WindowState", static_cast<int32_t>(state));
}

} // namespace tesseron
