#include "desktop/Integration.h"

#include "desktop/AtomicFile.h"
#include "desktop/BookmarkletPage.h"
#include "desktop/ProgramPaths.h"
#include "desktop/TextUtil.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tesseron {
namespace fs = std::filesystem;

namespace {

constexpr const char* kAutostartName = "tesseron.desktop";
constexpr const char* kHandlerName = "tesseron-whois.desktop";
constexpr const char* kSchemeMime = "x-scheme-handler/whois";
// Kept in our handler entry: the default the scheme had before ours, to give it back.
constexpr std::string_view kPreviousKey = "X-Tesseron-Previous-Handler";

// An XDG base folder: the variable when it is absolute, else the default under HOME.
fs::path BaseDir(const std::string& xdgValue, const std::string& home, const char* fallback) {
    fs::path dir = xdgValue;
    if (!dir.empty() && dir.is_absolute()) return dir;
    if (home.empty()) return {};
    return fs::path(home) / fallback;
}

bool IsRegularFile(const fs::path& path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec);
}

bool RemoveFile(const fs::path& path) {
    std::error_code ec;
    fs::remove(path, ec);
    return !ec;
}

bool WriteEntry(const fs::path& path, const std::string& content) {
    try {
        std::error_code ec;
        fs::create_directories(path.parent_path(), ec);
        WriteFileAtomically(path, content);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// An icon file path as a desktop-entry string; the theme's name when the path is missing
// or holds characters that would break the line.
std::string IconValue(const fs::path& iconPath) {
    const std::string path = iconPath.string();
    if (path.empty() || std::any_of(path.begin(), path.end(),
                                    [](unsigned char c) { return c < 0x20 || c == 0x7F; }))
        return "tesseron";
    std::string value;
    for (const char c : path)
        value += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return value;
}

std::optional<std::string> EntryText(const IntegrationEnvironment& env, const char* arguments,
                                     const char* extraKeys) {
    const auto program = QuoteExecArgument(env.programPath.string());
    if (env.programPath.empty() || !program) return std::nullopt;
    return std::string("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=Tesseron\n"
                       "Comment=Look up who holds a domain name or an IP address\n"
                       "Exec=") +
           *program + " " + arguments + "\nIcon=" + IconValue(env.iconPath) +
           "\n"
           "Terminal=false\n" +
           extraKeys;
}

void RunTool(const IntegrationEnvironment& env, std::vector<std::string> argv) {
    if (env.runTool) env.runTool(argv);
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find('\n', start)) != std::string::npos; start = at + 1)
        lines.push_back(text.substr(start, at - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// The value of `key` in a line "key=value", if the line is one.
std::optional<std::string_view> ValueOf(std::string_view line, std::string_view key) {
    const auto eq = line.find('=');
    if (eq == std::string_view::npos || Trim(line.substr(0, eq)) != key) return std::nullopt;
    return Trim(line.substr(eq + 1));
}

std::vector<std::string> SplitList(std::string_view value) {
    std::vector<std::string> items;
    while (!value.empty()) {
        const auto semi = value.find(';');
        const auto item = Trim(value.substr(0, semi));
        if (!item.empty()) items.emplace_back(item);
        if (semi == std::string_view::npos) break;
        value.remove_prefix(semi + 1);
    }
    return items;
}

std::string JoinList(const std::vector<std::string>& items) {
    std::string value;
    for (const auto& item : items)
        value += item + ";";
    return value;
}

// The files where a desktop keeps the user's default for a scheme: the config folder's
// (where xdg-mime writes) and the older one among the applications.
std::vector<fs::path> MimeAppsLists(const IntegrationEnvironment& env) {
    std::vector<fs::path> lists;
    if (const auto config = BaseDir(env.xdgConfigHome, env.home, ".config"); !config.empty())
        lists.push_back(config / "mimeapps.list");
    if (const auto entry = env.HandlerEntry(); !entry.empty())
        lists.push_back(entry.parent_path() / "mimeapps.list");
    return lists;
}

// The handlers that stand as the scheme's default before ours is made it, ours left out.
std::string CurrentDefault(const IntegrationEnvironment& env) {
    for (const auto& list : MimeAppsLists(env)) {
        std::string text;
        if (!ReadWholeFile(list, text)) continue;
        bool inDefaults = false;
        for (const auto& line : SplitLines(text)) {
            const auto trimmed = Trim(line);
            if (trimmed.starts_with('[')) inDefaults = trimmed == "[Default Applications]";
            const auto value = inDefaults ? ValueOf(trimmed, kSchemeMime) : std::nullopt;
            if (!value) continue;
            auto items = SplitList(*value);
            std::erase(items, kHandlerName);
            return JoinList(items);
        }
    }
    return {};
}

// `text` without our entry among the scheme's handlers; where ours was the default,
// `previous` takes its place. nullopt when ours is not named.
std::optional<std::string> WithoutOurHandler(const std::string& text, const std::string& previous) {
    std::string out;
    bool changed = false;
    bool inDefaults = false;
    for (const auto& line : SplitLines(text)) {
        const auto trimmed = Trim(line);
        if (trimmed.starts_with('[')) inDefaults = trimmed == "[Default Applications]";
        const auto value = ValueOf(trimmed, kSchemeMime);
        auto items = value ? SplitList(*value) : std::vector<std::string>{};
        const auto ours = std::find(items.begin(), items.end(), kHandlerName);
        if (ours == items.end()) {
            out += line + "\n";
            continue;
        }
        changed = true;
        const bool wasDefault = inDefaults && ours == items.begin();
        items.erase(ours);
        if (wasDefault) {
            auto restored = SplitList(previous);
            for (auto& item : items)
                if (std::find(restored.begin(), restored.end(), item) == restored.end())
                    restored.push_back(std::move(item));
            items = std::move(restored);
        }
        const bool crlf = !line.empty() && line.back() == '\r';
        if (!items.empty())
            out += std::string(kSchemeMime) + "=" + JoinList(items) + (crlf ? "\r\n" : "\n");
    }
    if (!changed) return std::nullopt;
    return out;
}

// What the handler entry recorded as the scheme's default before ours.
std::string RecordedPrevious(const fs::path& entry) {
    std::string text;
    if (!ReadWholeFile(entry, text)) return {};
    for (const auto& line : SplitLines(text))
        if (const auto value = ValueOf(Trim(line), kPreviousKey)) return std::string(*value);
    return {};
}

// Gives the scheme back to what handled it before ours, or to nobody.
void UndoOurDefault(const IntegrationEnvironment& env, const std::string& previous) {
    for (const auto& list : MimeAppsLists(env)) {
        std::string text;
        if (!ReadWholeFile(list, text)) continue;
        if (const auto edited = WithoutOurHandler(text, previous)) {
            try {
                WriteFileAtomically(list, *edited);
            } catch (const std::exception&) {
                // Silent, as every switch: the entry is gone, so the default dangles.
            }
        }
    }
}

} // namespace

IntegrationEnvironment IntegrationEnvironment::FromProcess() {
    IntegrationEnvironment env;
    if (const char* v = std::getenv("XDG_CONFIG_HOME")) env.xdgConfigHome = v;
    if (const char* v = std::getenv("XDG_DATA_HOME")) env.xdgDataHome = v;
    if (const char* v = std::getenv("HOME")) env.home = v;
    env.programPath = ExecutablePath();
    std::error_code ec;
    if (const auto icon = ProgramPaths::ForThisProcess().dataDir / "icons" / "tesseron.svg";
        fs::is_regular_file(icon, ec))
        env.iconPath = icon;
    env.runTool = [](const std::vector<std::string>& argv) {
        RunProgram(argv, std::chrono::seconds(5));
    };
    return env;
}

fs::path IntegrationEnvironment::AutostartEntry() const {
    const auto base = BaseDir(xdgConfigHome, home, ".config");
    return base.empty() ? base : base / "autostart" / kAutostartName;
}

fs::path IntegrationEnvironment::HandlerEntry() const {
    const auto base = BaseDir(xdgDataHome, home, ".local/share");
    return base.empty() ? base : base / "applications" / kHandlerName;
}

fs::path IntegrationEnvironment::BookmarkletPage() const {
    const auto base = BaseDir(xdgDataHome, home, ".local/share");
    return base.empty() ? base : base / "tesseron" / "tesseron.htm";
}

std::optional<std::string> QuoteExecArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) return std::nullopt;
        switch (c) {
        // Inside quotes these four take a backslash, and the key's own escaping doubles
        // every backslash again.
        case '"':
        case '`':
        case '$':
            quoted += "\\\\";
            break;
        case '\\':
            quoted += "\\\\\\";
            break;
        case '%':
            quoted += '%';
            break; // "%%" is a literal percent, not a field code
        default:
            break;
        }
        quoted += c;
    }
    return quoted + "\"";
}

bool IsAutostartRegistered(const IntegrationEnvironment& env) {
    return IsRegularFile(env.AutostartEntry());
}

bool IsBrowserButtonRegistered(const IntegrationEnvironment& env) {
    return IsRegularFile(env.HandlerEntry());
}

bool SetAutostart(const IntegrationEnvironment& env, bool on) {
    const auto entry = env.AutostartEntry();
    if (entry.empty()) return false;
    if (!on) return RemoveFile(entry);
    const auto text = EntryText(env, "-minimize", "");
    return text && WriteEntry(entry, *text);
}

bool SetBrowserButton(const IntegrationEnvironment& env, bool on) {
    const auto entry = env.HandlerEntry();
    const auto page = env.BookmarkletPage();
    if (entry.empty()) return false;
    if (!on) {
        const auto previous = RecordedPrevious(entry);
        const bool entryRemoved = RemoveFile(entry);
        UndoOurDefault(env, previous);
        const bool removed = RemoveFile(page) && entryRemoved;
        // Our own folder goes when it is empty; a non-empty one is left alone.
        std::error_code ec;
        if (fs::is_empty(page.parent_path(), ec) && !ec) fs::remove(page.parent_path(), ec);
        RunTool(env, {"update-desktop-database", "-q", entry.parent_path().string()});
        return removed;
    }
    // Switched on again, the default from before the first time stays the one to restore.
    std::string previous = RecordedPrevious(entry);
    if (previous.empty()) previous = CurrentDefault(env);
    std::string keys = "NoDisplay=true\nMimeType=x-scheme-handler/whois;\n";
    if (!previous.empty() && std::none_of(previous.begin(), previous.end(),
                                          [](unsigned char c) { return c < 0x20 || c == 0x7F; }))
        keys += std::string(kPreviousKey) + "=" + previous + "\n";
    const auto text = EntryText(env, "%u", keys.c_str());
    if (!text || !WriteEntry(page, BookmarkletPageText()) || !WriteEntry(entry, *text))
        return false;
    RunTool(env, {"update-desktop-database", "-q", entry.parent_path().string()});
    RunTool(env, {"xdg-mime", "default", kHandlerName, kSchemeMime});
    return true;
}

std::string AddressFromWhoisLink(const std::string& text) {
    constexpr std::string_view kScheme = "whois:";
    if (!EqualsIgnoringCase(std::string_view(text).substr(0, kScheme.size()), kScheme)) return text;
    std::string_view rest(text);
    rest.remove_prefix(kScheme.size());
    while (!rest.empty() && rest.front() == '/')
        rest.remove_prefix(1);
    while (!rest.empty() && rest.back() == '/')
        rest.remove_suffix(1);

    // A control character would end up in the single-line address box.
    return PercentDecode(rest, true);
}

const std::string& BookmarkletPageText() {
    static const std::string page = kBookmarkletPage;
    return page;
}

std::optional<int> RunProgram(const std::vector<std::string>& argv,
                              std::chrono::milliseconds wait) {
    if (argv.empty()) return std::nullopt;
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return std::nullopt;

    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        }
        // Somebody else reaped it (SIGCHLD ignored): it ran, its outcome is unknown.
        if (done < 0 && errno != EINTR) return kStillRunning;
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // A mail program may stay open for as long as the user writes; reap it when it ends.
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return kStillRunning;
}

} // namespace tesseron
