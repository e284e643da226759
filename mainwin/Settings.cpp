#include "mainwin/Settings.h"

#include "app/TesseronVersion.h"
#include "desktop/ProgramPaths.h"
#include "mainwin/ProfileFile.h"

namespace tesseron {
namespace {

constexpr const char* kDefaults = "Defaults";
constexpr const char* kDefault = "Default";
constexpr const char* kProxy = "Proxy";
constexpr const char* kWindowPosition = "Window Position";
constexpr const char* kWindowState = "Window State";

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
    s.HistoryLines = f.ReadInteger(kDefaults, "HistoryLines", d.HistoryLines);
    s.pnlQureyWidth = f.ReadInteger(kDefaults, "pnlQureyWidth", d.pnlQureyWidth);
    s.whoisTimeout = f.ReadInteger(kDefaults, "whoisTimeout", d.whoisTimeout);

    s.proxyUserName = f.ReadString(kProxy, "proxyUserName", d.proxyUserName);
    s.proxyPassword = f.ReadString(kProxy, "proxyPassword", d.proxyPassword);
    s.proxyAuthentication = f.ReadInteger(kProxy, "proxyAuthentication", d.proxyAuthentication);
    s.proxyHost = f.ReadString(kProxy, "proxyHost", d.proxyHost);
    s.proxyPort = f.ReadInteger(kProxy, "proxyPort", d.proxyPort);
    s.proxyVersion = f.ReadInteger(kProxy, "proxyVersion", d.proxyVersion);

    s.WhoisFileLink = f.ReadString(kDefault, "WhoisFileLink", d.WhoisFileLink);

    s.DetermineIpAddress = f.ReadBool(kDefaults, "DetermineIpAddress", d.DetermineIpAddress);
    s.DetermineReverseName = f.ReadBool(kDefaults, "DetermineReverseName", d.DetermineReverseName);
    s.UpdateIfExists = f.ReadBool(kDefaults, "UpdateIfExists", d.UpdateIfExists);

    s.StartWithWindows =
        registration.isAutostartRegistered ? registration.isAutostartRegistered() : false;
    s.IntegrateToIE =
        registration.isBrowserButtonRegistered ? registration.isBrowserButtonRegistered() : false;

    s.PropWNDQuery = static_cast<uint8_t>(f.ReadInteger(kDefaults, "PropWNDQuery", d.PropWNDQuery));
    s.TextColor = f.ReadInteger(kDefaults, "TextColor", d.TextColor);
    s.BackgroundColor = f.ReadInteger(kDefaults, "BackgroundColor", d.BackgroundColor);
    s.FontName = f.ReadString(kDefaults, "FontName", d.FontName);
    s.FontSize = f.ReadInteger(kDefaults, "FontSize", d.FontSize);
    s.FontStyle = static_cast<uint8_t>(f.ReadInteger(kDefaults, "FontStyle", d.FontStyle) & 0x0F);
    s.MaxWhoisResults = f.ReadInteger(kDefaults, "MaxWhoisResults", d.MaxWhoisResults);
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
