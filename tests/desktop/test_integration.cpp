#include "desktop/Integration.h"
#include "desktop/mapimail.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tesseron::test {
namespace {
namespace fs = std::filesystem;

struct Desk {
    TempDir dir;
    std::vector<std::vector<std::string>> toolRuns;
    IntegrationEnvironment env;
    Desk() {
        env.xdgConfigHome = (dir / "config").string();
        env.xdgDataHome = (dir / "data").string();
        env.home = (dir / "home").string();
        env.programPath = "/opt/tess ron/bin/tesseron";
        env.runTool = [this](const std::vector<std::string>& argv) { toolRuns.push_back(argv); };
    }
    // TempDir::Write with the folders made first.
    fs::path Write(const std::string& name, const std::string& content) const {
        fs::create_directories((dir / name).parent_path());
        return dir.Write(name, content);
    }
    // Every regular file under the temporary folder, relative to it.
    std::vector<std::string> Files() const {
        std::vector<std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(dir.path()))
            if (!e.is_directory()) files.push_back(fs::relative(e.path(), dir.path()).string());
        std::sort(files.begin(), files.end());
        return files;
    }
};

std::string EntryValue(const fs::path& entry, const std::string& key) {
    const auto text = ReadFile(entry);
    const auto at = text.find("\n" + key + "=");
    if (at == std::string::npos) return "";
    const auto start = at + key.size() + 2;
    return text.substr(start, text.find('\n', start) - start);
}
std::string ExecLine(const fs::path& entry) {
    return EntryValue(entry, "Exec");
}

TEST(Autostart, OnWritesTheEntryAndOffRemovesOnlyIt) {
    Desk desk;
    const auto other = desk.Write("config/autostart/other.desktop", "[Desktop Entry]\n");
    EXPECT_FALSE(IsAutostartRegistered(desk.env));
    ASSERT_TRUE(SetAutostart(desk.env, true));
    EXPECT_TRUE(IsAutostartRegistered(desk.env));
    EXPECT_EQ(ExecLine(desk.dir / "config/autostart/tesseron.desktop"),
              "\"/opt/tess ron/bin/tesseron\" -minimize");
    ASSERT_TRUE(SetAutostart(desk.env, true)); // again: replaced, not duplicated
    ASSERT_TRUE(SetAutostart(desk.env, false));
    EXPECT_FALSE(IsAutostartRegistered(desk.env));
    EXPECT_EQ(desk.Files(), std::vector<std::string>{"config/autostart/other.desktop"});
    EXPECT_EQ(ReadFile(other), "[Desktop Entry]\n");
}

TEST(Autostart, IconIsTheProgramsFileOrTheThemeName) {
    const std::pair<std::string, std::string> cases[] = {
        {"/opt/tess ron/share/icons/tesseron.svg", "/opt/tess ron/share/icons/tesseron.svg"},
        {"/odd\\dir/tesseron.svg", "/odd\\\\dir/tesseron.svg"},
        {"/a\nIcon=evil.svg", "tesseron"},
        {"", "tesseron"},
    };
    for (const auto& [icon, value] : cases) {
        Desk desk;
        desk.env.iconPath = icon;
        ASSERT_TRUE(SetAutostart(desk.env, true));
        ASSERT_TRUE(SetBrowserButton(desk.env, true));
        EXPECT_EQ(EntryValue(desk.env.AutostartEntry(), "Icon"), value) << icon;
        EXPECT_EQ(EntryValue(desk.env.HandlerEntry(), "Icon"), value) << icon;
    }
}

TEST(Autostart, FolderFallsBackToHomeAndFailsQuietlyWithoutOne) {
    Desk desk;
    desk.env.xdgConfigHome = "relative/dir"; // not absolute: ignored
    ASSERT_TRUE(SetAutostart(desk.env, true));
    EXPECT_TRUE(fs::exists(desk.dir / "home/.config/autostart/tesseron.desktop"));

    desk.env.home.clear();
    desk.env.xdgDataHome.clear();
    EXPECT_FALSE(IsAutostartRegistered(desk.env));
    EXPECT_FALSE(SetAutostart(desk.env, true));
    EXPECT_FALSE(SetBrowserButton(desk.env, true));
}

TEST(ExecQuoting, ReservedCharactersAreEscapedAndControlCharactersRefused) {
    const struct {
        std::string path;
        std::optional<std::string> exec;
    } cases[] = {
        {"/usr/bin/tesseron", "\"/usr/bin/tesseron\""},
        {"/a b/t", "\"/a b/t\""},
        {"/a\"b/t", "\"/a\\\\\"b/t\""},
        {"/a$b`c/t", "\"/a\\\\$b\\\\`c/t\""},
        {"/a\\b/t", "\"/a\\\\\\\\b/t\""},
        {"/100%/t", "\"/100%%/t\""},
        {"/a\nExec=evil/t", std::nullopt},
        {"/a\tb", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QuoteExecArgument(c.path), c.exec) << c.path;

    Desk desk;
    desk.env.programPath = "/x\n[Desktop Entry]\nExec=evil";
    EXPECT_FALSE(SetAutostart(desk.env, true));
    EXPECT_FALSE(SetBrowserButton(desk.env, true));
    EXPECT_TRUE(desk.Files().empty());
}

TEST(BrowserButton, OnWritesHandlerAndPageOffRemovesExactlyThose) {
    Desk desk;
    const auto other = desk.Write("data/applications/editor.desktop", "keep");
    ASSERT_TRUE(SetBrowserButton(desk.env, true));
    EXPECT_TRUE(IsBrowserButtonRegistered(desk.env));
    const auto handler = desk.dir / "data/applications/tesseron-whois.desktop";
    EXPECT_EQ(ExecLine(handler), "\"/opt/tess ron/bin/tesseron\" %u");
    EXPECT_NE(ReadFile(handler).find("\nMimeType=x-scheme-handler/whois;\n"), std::string::npos);
    EXPECT_EQ(ReadFile(desk.dir / "data/tesseron/tesseron.htm"), BookmarkletPageText());
    const auto dataDir = (desk.dir / "data/applications").string();
    EXPECT_EQ(desk.toolRuns,
              (std::vector<std::vector<std::string>>{
                  {"update-desktop-database", "-q", dataDir},
                  {"xdg-mime", "default", "tesseron-whois.desktop", "x-scheme-handler/whois"}}));

    ASSERT_TRUE(SetBrowserButton(desk.env, false));
    EXPECT_FALSE(IsBrowserButtonRegistered(desk.env));
    EXPECT_EQ(desk.Files(), std::vector<std::string>{"data/applications/editor.desktop"});
    EXPECT_FALSE(fs::exists(desk.dir / "data/tesseron"));
    EXPECT_EQ(ReadFile(other), "keep");
    EXPECT_EQ(desk.toolRuns.back(),
              (std::vector<std::string>{"update-desktop-database", "-q", dataDir}));

    // Somebody else's file in our folder keeps the folder; on again restores both files.
    desk.Write("data/tesseron/notes.txt", "mine");
    ASSERT_TRUE(SetBrowserButton(desk.env, true));
    ASSERT_TRUE(SetBrowserButton(desk.env, false));
    EXPECT_EQ(desk.Files(), (std::vector<std::string>{"data/applications/editor.desktop",
                                                      "data/tesseron/notes.txt"}));
}

// Off gives the "whois:" scheme back: to the default it had before on, or to nobody. The
// desktop tool's own writing is played by the fake: it leaves `afterTool` in `file`.
TEST(BrowserButton, OffUndoesTheSchemeDefault) {
    const std::string ours = "tesseron-whois.desktop";
    const struct {
        const char* name;
        std::string file;
        std::optional<std::string> before;
        std::string afterTool;
        std::optional<std::string> userChange; // written between on and off
        std::string afterOff;
    } cases[] = {
        {"previous default restored", "config/mimeapps.list",
         "[Default Applications]\nx-scheme-handler/whois=other.desktop;\ntext/html=ff.desktop\n",
         "[Default Applications]\nx-scheme-handler/whois=" + ours +
             ";\ntext/html=ff.desktop\n[Added Associations]\nx-scheme-handler/whois=" + ours +
             ";other.desktop;\n",
         std::nullopt,
         "[Default Applications]\nx-scheme-handler/whois=other.desktop;\ntext/html=ff.desktop\n"
         "[Added Associations]\nx-scheme-handler/whois=other.desktop;\n"},
        {"no previous default: our lines go", "config/mimeapps.list", std::nullopt,
         "[Default Applications]\r\nx-scheme-handler/whois = " + ours +
             "\r\nb=c\r\n[Added Associations]\r\nx-scheme-handler/whois=" + ours + ";x.desktop\r\n",
         std::nullopt,
         "[Default Applications]\r\nb=c\r\n[Added Associations]\r\n"
         "x-scheme-handler/whois=x.desktop;\r\n"},
        {"older place among the applications", "data/applications/mimeapps.list",
         "[Default Applications]\nx-scheme-handler/whois=a.desktop;b.desktop\n",
         "[Default Applications]\nx-scheme-handler/whois=" + ours + ";b.desktop;\n", std::nullopt,
         "[Default Applications]\nx-scheme-handler/whois=a.desktop;b.desktop;\n"},
        {"changed by the user since: left alone", "config/mimeapps.list",
         "[Default Applications]\nx-scheme-handler/whois=other.desktop\n",
         "[Default Applications]\nx-scheme-handler/whois=" + ours + "\n",
         "[Default Applications]\nx-scheme-handler/whois=third.desktop;\n",
         "[Default Applications]\nx-scheme-handler/whois=third.desktop;\n"},
    };
    for (const auto& c : cases) {
        Desk desk;
        if (c.before) desk.Write(c.file, *c.before);
        desk.env.runTool = [&](const std::vector<std::string>& argv) {
            if (argv.front() == "xdg-mime") desk.Write(c.file, c.afterTool);
        };
        ASSERT_TRUE(SetBrowserButton(desk.env, true)) << c.name;
        ASSERT_TRUE(SetBrowserButton(desk.env, true)) << c.name; // again: the record stays
        if (c.userChange) desk.Write(c.file, *c.userChange);
        ASSERT_TRUE(SetBrowserButton(desk.env, false)) << c.name;
        EXPECT_EQ(ReadFile(desk.dir / c.file), c.afterOff) << c.name;
    }
}

TEST(BrowserButton, ShippedPageIsTheOneWrittenAndOpensTheHostWhoisLink) {
    EXPECT_EQ(ReadFile(fs::path(TESSERON_SOURCE_DIR) / "data/tesseron.htm"), BookmarkletPageText());
    EXPECT_NE(BookmarkletPageText().find("'whois://'+encodeURIComponent(location.hostname)"),
              std::string::npos);
}

TEST(BrowserButton, WhoisLinkGivesItsAddress) {
    const std::pair<std::string, std::string> cases[] = {
        {"whois://example.com", "example.com"},
        {"WHOIS://example.com/", "example.com"},
        {"whois:example.com", "example.com"},
        {"whois://b%C3%BCcher.de", "b\xC3\xBC"
                                   "cher.de"},
        {"whois://a%0Ab.com", "a%0Ab.com"}, // a line break stays escaped
        {"whois://a%2", "a%2"},
        {"whois:", ""},
        {"example.com", "example.com"},
        {"http://whois.example/", "http://whois.example/"},
        {"whoisexample.com", "whoisexample.com"},
    };
    for (const auto& [link, address] : cases)
        EXPECT_EQ(AddressFromWhoisLink(link), address) << link;
}

TEST(MapiErrorText, CoversTheTableAndNamesUnknownCodes) {
    const std::pair<int, std::string> cases[] = {
        {1, "User cancelled request"},  {2, "General MAPI failure"},
        {6, "Access denied"},           {8, "Too many sessions"},
        {18, "Text too large."},        {25, "Invalid recipients"},
        {26, "Not supported"},          {0, "Unknown Error Code: 0"},
        {7, "Unknown Error Code: 7"},   {27, "Unknown Error Code: 27"},
        {-3, "Unknown Error Code: -3"},
    };
    for (const auto& [code, text] : cases)
        EXPECT_EQ(MapiErrorText(code), text) << code;
    EXPECT_EQ(MailErrorMessage(1),
              "Unable to send email message.\n\nReason: MAPI triggered an error (User cancelled "
              "request).");
}

// A launcher whose mail tool answers `toolStatus` and whose desktop takes a link when
// `urlTaken`, keeping what each was handed in `argv` and `url`.
MailLauncher Recording(std::vector<std::string>& argv, std::string& url,
                       std::optional<int> toolStatus, bool urlTaken) {
    MailLauncher launcher;
    launcher.run = [&argv, toolStatus](const std::vector<std::string>& a) {
        argv = a;
        return toolStatus;
    };
    launcher.openUrl = [&url, urlTaken](const std::string& u) {
        url = u;
        return urlTaken;
    };
    return launcher;
}

TEST(SendMail, TriesTheMailToolThenAMailtoLinkThenReportsCodeOne) {
    const std::string failed = MailErrorMessage(1);
    const struct {
        std::optional<int> toolStatus;
        bool urlTaken;
        bool expectUrl;
        std::string result;
    } cases[] = {
        {0, false, false, ""}, {kStillRunning, false, false, ""},   {std::nullopt, true, true, ""},
        {3, true, true, ""},   {std::nullopt, false, true, failed}, {1, false, true, failed},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv;
        std::string url;
        MailLauncher launcher = Recording(argv, url, c.toolStatus, c.urlTaken);
        EXPECT_EQ(SendMail(kMailSubject, std::string("Domain: a\0b\n", 12), "a", launcher),
                  c.result);
        EXPECT_EQ(argv, (std::vector<std::string>{"xdg-email", "--subject", "Tesseron Result",
                                                  "--body", "Domain: ab\n"}));
        EXPECT_EQ(url,
                  c.expectUrl ? "mailto:?subject=Tesseron%20Result&body=Domain%3A%20ab%0D%0A" : "");
    }
    EXPECT_EQ(SendMail("s", "b", "q", MailLauncher{}), failed);
}

// A long answer goes as an owner-only attached file with a short note naming the query;
// no long argument or URL is ever handed over.
TEST(SendMail, LongAnswersGoAsAnAttachedFile) {
    const std::string longAnswer(200 * 1024, 'x');
    const std::string manyLines(kMailInlineLimit / 4, '\n'); // short, but six times as long escaped
    const struct {
        const char* name;
        std::string body, query, fileName;
        std::optional<int> toolStatus;
        bool urlTaken;
        bool attachmentDir;
        std::string result;
        bool fileKept;
    } cases[] = {
        {"tool takes it", longAnswer, "example.com", "example.com.txt", 0, false, true, "", true},
        {"escaping makes it long", manyLines, "a.test", "a.test.txt", kStillRunning, false, true,
         "", true},
        {"link names the file", longAnswer, "192.0.2.0/24", "192.0.2.0_24.txt", std::nullopt, true,
         true, "", true},
        {"nothing takes it", longAnswer, "..\n", "_.txt", 1, false, true, MailErrorMessage(1),
         false},
        {"nowhere to write", longAnswer, "a", "", 0, true, false, MailErrorMessage(13), false},
    };
    for (const auto& c : cases) {
        TempDir base;
        const auto old = base / "tesseron-mail-old";
        const auto othersOld = base / "other-old";
        for (const auto& d : {old, othersOld}) {
            fs::create_directories(d);
            fs::last_write_time(d, fs::file_time_type::clock::now() - std::chrono::hours(48));
        }
        std::vector<std::string> argv;
        std::string url;
        MailLauncher launcher = Recording(argv, url, c.toolStatus, c.urlTaken);
        if (c.attachmentDir) launcher.attachmentDir = base.path();
        EXPECT_EQ(SendMail(kMailSubject, c.body, c.query, launcher), c.result) << c.name;
        for (const auto& a : argv)
            EXPECT_LT(a.size(), 4096u) << c.name;
        EXPECT_LT(url.size(), 4096u) << c.name;
        if (!c.attachmentDir) continue;
        EXPECT_FALSE(fs::exists(old)) << c.name;
        EXPECT_TRUE(fs::exists(othersOld)) << c.name;

        ASSERT_EQ(argv.size(), 7u) << c.name;
        const fs::path file = argv[6];
        EXPECT_EQ(argv[5], "--attach");
        EXPECT_EQ(file.filename(), c.fileName) << c.name;
        EXPECT_NE(argv[4].find(c.query.substr(0, 3)), std::string::npos) << argv[4];
        EXPECT_EQ(fs::exists(file), c.fileKept) << c.name;
        if (!c.fileKept) continue;
        EXPECT_EQ(ReadFile(file), c.body) << c.name;
        EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(fs::status(file.parent_path()).permissions(), fs::perms::owner_all);
        EXPECT_EQ(url.empty(), !c.urlTaken) << c.name;
    }
}

TEST(SendMail, ComposeUrlEscapesEverySeparator) {
    EXPECT_EQ(MailToComposeUrl("a&b", "x=1?y#z\r\nl2\rl3 ~-._"),
              "mailto:?subject=a%26b&body=x%3D1%3Fy%23z%0D%0Al2%0D%0Al3%20~-._");
}

TEST(RunProgram, ReportsExitStatusMissingProgramAndStillRunning) {
    using namespace std::chrono_literals;
    EXPECT_EQ(RunProgram({"true"}, 5s), 0);
    EXPECT_EQ(RunProgram({"sh", "-c", "exit 3"}, 5s), 3);
    EXPECT_EQ(RunProgram({"tesseron-no-such-program"}, 5s), std::nullopt);
    EXPECT_EQ(RunProgram({"sleep", "1"}, 30ms), kStillRunning);
    EXPECT_EQ(RunProgram({}, 5s), std::nullopt);
}

} // namespace
} // namespace tesseron::test
