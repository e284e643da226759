#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tesseron {

// Where the desktop looks for start-up entries and URL handlers, and the program they
// start. Injected so that nothing below reads the process environment.
struct IntegrationEnvironment {
    std::string xdgConfigHome; // "" or relative: $HOME/.config
    std::string xdgDataHome;   // "" or relative: $HOME/.local/share
    std::string home;
    std::filesystem::path programPath;
    // The program's icon file; empty: the icon theme's "tesseron".
    std::filesystem::path iconPath;
    // Runs a desktop tool (xdg-mime, update-desktop-database) without a shell; its outcome
    // is ignored. Empty: tools are not run.
    std::function<void(const std::vector<std::string>& argv)> runTool;

    static IntegrationEnvironment FromProcess();

    // The files the switches write; empty when neither the XDG folder nor HOME is known.
    std::filesystem::path AutostartEntry() const;
    std::filesystem::path HandlerEntry() const;
    std::filesystem::path BookmarkletPage() const;
};

// Start with the session: an autostart entry that runs the program with "-minimize".
bool IsAutostartRegistered(const IntegrationEnvironment& env);
// Browser button: a "whois:" URL handler plus a page with a bookmarklet that opens
// "whois://" and the current page's host.
bool IsBrowserButtonRegistered(const IntegrationEnvironment& env);

// "On" writes the entries, "off" removes exactly what "on" wrote. Failures are silent, as
// the switches have always been; the result tells whether the change was made.
bool SetAutostart(const IntegrationEnvironment& env, bool on);
bool SetBrowserButton(const IntegrationEnvironment& env, bool on);

// The two registrations as the settings load and the options dialog see them. The forms'
// desktop services extend it; the core needs only this much.
class DesktopRegistration {
public:
    virtual ~DesktopRegistration() = default;
    virtual bool IsAutostartRegistered() const = 0;
    virtual bool IsBrowserButtonRegistered() const = 0;
    virtual void SetAutostart(bool on) = 0;
    virtual void SetBrowserButton(bool on) = 0;
};

// The registrations in the user's XDG folders, through the functions above.
class XdgRegistration final : public DesktopRegistration {
public:
    explicit XdgRegistration(IntegrationEnvironment env) : env_(std::move(env)) {}
    bool IsAutostartRegistered() const override { return tesseron::IsAutostartRegistered(env_); }
    bool IsBrowserButtonRegistered() const override {
        return tesseron::IsBrowserButtonRegistered(env_);
    }
    void SetAutostart(bool on) override { tesseron::SetAutostart(env_, on); }
    void SetBrowserButton(bool on) override { tesseron::SetBrowserButton(env_, on); }

private:
    IntegrationEnvironment env_;
};

// The bookmarklet page, also shipped as data/tesseron.htm.
const std::string& BookmarkletPageText();

// The address a "whois:" link names: "whois://example.com/" and "whois:example.com" give
// "example.com", percent escapes decoded unless they stand for control characters. Any
// other text comes back as it is.
std::string AddressFromWhoisLink(const std::string& text);

// Quotes one argument of a desktop entry's Exec key; nullopt for a text that cannot stand
// there (control characters would end the line and forge further keys).
std::optional<std::string> QuoteExecArgument(const std::string& argument);

// Starts a program found on PATH, without a shell, its output discarded, and waits up to
// `wait` for it to end. nullopt: it could not be started. kStillRunning: it was still
// running when the wait ended (it is reaped in the background). Else its exit status.
inline constexpr int kStillRunning = 256;
std::optional<int> RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds wait);

} // namespace tesseron
