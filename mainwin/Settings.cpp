#include "mainwin/Settings.h"

#include "app/TesseronVersion.h"
#include "desktop/Integration.h"
#include "desktop/ProfileFile.h"
#include "desktop/ProgramPaths.h"

#include <algorithm>
#include <stdexcept>

namespace tesseron {
namespace {

constexpr const char* kDefaults = "Defaults";
constexpr const char* kDefault = "Default";
constexpr const char* kProxy = "Proxy";
constexpr const char* kWindowPosition = "Window Position";
constexpr const char* kWindowState = "Window State";

// The low byte, within the choices the dialog offers (closing modes, proxy kinds,
// authentication off or on).
constexpr NumberFit LowByteUpTo(int32_t max) {
    return {0xFF, 0, max};
}
// A hand-edited file can hold anything, and a value outside the dialog's range misleads the
// code that uses it (no history at all, a store that keeps nothing).
constexpr NumberFit Within(int32_t min, int32_t max) {
    return {~0, min, max};
}

using S = TSettings;
const SettingKey kKeys[] = {
    {kDefaults, "DefaultLang", &S::DefaultLang},
    {kDefaults, "bUseRating", &S::bUseRating},
    {kDefaults, "bAsDomain", &S::bAsDomain},
    {kDefaults, "bShowRawAnswer", &S::bShowRawAnswer},
    {kDefaults, "HistoryLines", &S::HistoryLines, Within(1, 100)},
    {kDefaults, "pnlQureyWidth", &S::pnlQureyWidth},
    {kDefaults, "whoisTimeout", &S::whoisTimeout, Within(0, 20000)},
    {kDefaults, "PropWNDQuery", &S::PropWNDQuery, LowByteUpTo(2)},
    {kDefaults, "UpdateIfExists", &S::UpdateIfExists},
    {kDefaults, "bSmartFilterURL", &S::bSmartFilterURL},
    {kDefaults, "DetermineIpAddress", &S::DetermineIpAddress},
    {kDefaults, "DetermineReverseName", &S::DetermineReverseName},
    {kDefault, "WhoisFileLink", &S::WhoisFileLink},
    {kDefault, "RdapBootstrapUrl", &S::RdapBootstrapUrl},
    {kProxy, "proxyUserName", &S::proxyUserName},
    {kProxy, "proxyPassword", &S::proxyPassword},
    {kProxy, "proxyAuthentication", &S::proxyAuthentication, LowByteUpTo(1)},
    {kProxy, "proxyHost", &S::proxyHost},
    {kProxy, "proxyPort", &S::proxyPort, Within(1, 65535)},
    {kProxy, "proxyVersion", &S::proxyVersion, LowByteUpTo(3)},
    {kDefaults, "TextColor", &S::TextColor},
    {kDefaults, "BackgroundColor", &S::BackgroundColor},
    {kDefaults, "FontName", &S::FontName},
    {kDefaults, "FontSize", &S::FontSize},
    {kDefaults, "FontStyle", &S::FontStyle, {0x0F}}, // bold, italic, underline, strike-out
    {kDefaults, "MaxWhoisResults", &S::MaxWhoisResults, Within(1, 1000)},
    {kDefaults, "RdapMode", &S::RdapMode, Within(0, 2)},
};

int32_t Fit(int32_t value, const NumberFit& fit) {
    return std::clamp(value & fit.mask, fit.min, fit.max);
}

template <class... F> struct Overloaded : F... { using F::operator()...; };
// Spelled out for compilers without class template argument deduction for aggregates.
template <class... F> Overloaded(F...) -> Overloaded<F...>;

void Read(const ProfileFile& f, const SettingKey& k, const TSettings& d, TSettings& s) {
    std::visit(Overloaded{
                   [&](bool S::*m) { s.*m = f.ReadBool(k.section, k.key, d.*m); },
                   [&](int32_t S::*m) { s.*m = Fit(f.ReadInteger(k.section, k.key, d.*m), k.fit); },
                   [&](uint8_t S::*m) {
                       s.*m =
                           static_cast<uint8_t>(Fit(f.ReadInteger(k.section, k.key, d.*m), k.fit));
                   },
                   [&](std::string S::*m) { s.*m = f.ReadString(k.section, k.key, d.*m); },
               },
               k.member);
}

void Write(ProfileFile& f, const SettingKey& k, const TSettings& s) {
    std::visit(Overloaded{
                   [&](bool S::*m) { f.WriteBool(k.section, k.key, s.*m); },
                   [&](int32_t S::*m) { f.WriteInteger(k.section, k.key, s.*m); },
                   [&](uint8_t S::*m) { f.WriteInteger(k.section, k.key, s.*m & k.fit.mask); },
                   [&](std::string S::*m) { f.WriteString(k.section, k.key, s.*m); },
               },
               k.member);
}

} // namespace

std::string TSettings::DefaultWhoisFileLink() {
    return std::string(version::kMakerUrl) + "/tesseron/whois.xml";
}

std::span<const SettingKey> SettingKeys() {
    return kKeys;
}

IntRange SettingRange(int32_t TSettings::*member) {
    for (const SettingKey& k : kKeys)
        if (const auto* m = std::get_if<int32_t S::*>(&k.member); m && *m == member)
            return {k.fit.min, k.fit.max};
    throw std::logic_error("no settings key holds this field");
}

void LoadSettings(const ProfileFile& f, const ProgramPaths& paths, TSettings& s,
                  const DesktopRegistration* registration) {
    const TSettings d; // defaults
    s.ServerListPath = paths.ServerListFile().string();
    s.ResultsPath = paths.ResultsFile().string();
    // Reading has no side effects, so the keys are read in the table's order.
    for (const SettingKey& k : kKeys)
        Read(f, k, d, s);
    s.StartWithWindows = registration && registration->IsAutostartRegistered();
    s.IntegrateToIE = registration && registration->IsBrowserButtonRegistered();
}

void SaveSettings(ProfileFile& f, const TSettings& s) {
    for (const SettingKey& k : kKeys)
        Write(f, k, s);
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
