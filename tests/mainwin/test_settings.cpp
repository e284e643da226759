#include "desktop/Integration.h"
#include "desktop/ProfileFile.h"
#include "desktop/ProgramPaths.h"
#include "mainwin/Settings.h"
#include "support/SampleSettings.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tesseron;
using tesseron::test::ReadFile;
using tesseron::test::TempDir;

namespace {

ProgramPaths PathsIn(const TempDir& dir) {
    return ProgramPaths::Locate(dir / "tesseron", {}, true);
}

TEST(Settings, MissingFileGivesEveryDefault) {
    TempDir dir;
    ProfileFile f(dir / "tesseron.ini");
    TSettings s;
    s.bUseRating = false; // must be overwritten by the default
    s.whoisTimeout = 1;
    LoadSettings(f, PathsIn(dir), s);
    const TSettings d;
    EXPECT_TRUE(s.bUseRating);
    EXPECT_EQ(s.whoisTimeout, 5000);
    EXPECT_EQ(s.DefaultLang, "english.lng");
    EXPECT_EQ(s.TextColor, -16777208);
    EXPECT_EQ(s.BackgroundColor, -16777211);
    EXPECT_EQ(s.proxyPort, 1080);
    EXPECT_EQ(s.WhoisFileLink.rfind("https://", 0), 0u);
    EXPECT_TRUE(s.WhoisFileLink.ends_with("/tesseron/whois.xml"));
    EXPECT_EQ(s.ServerListPath, (dir / "whois.xml").string());
    EXPECT_EQ(s.ResultsPath, (dir / "whois_result.xml").string());
    EXPECT_FALSE(s.StartWithWindows);
}

TEST(Settings, ValuesAreReadWithTheFileRules) {
    TempDir dir;
    ProfileFile f(dir.Write("tesseron.ini", "[defaults]\n"
                                            "whoisTimeout=0x1388\n"
                                            "HistoryLines=abc\n"
                                            "bUseRating=2\n"
                                            "bAsDomain=0\n"
                                            "FontStyle=31\n"
                                            "PropWNDQuery=258\n"
                                            "MaxWhoisResults=-3\n"
                                            "DefaultLang=\"russian.lng\"\n"
                                            "[Default]\nWhoisFileLink=https://x.test/w.xml\n"
                                            "[PROXY]\nproxyVersion=3\nproxyHost= socks.test \n"
                                            "proxyPassword=p=ss;word\n"));
    TSettings s;
    // Registered both ways; records that the load asked.
    struct Registered final : DesktopRegistration {
        mutable bool asked = false;
        bool IsAutostartRegistered() const override { return asked = true; }
        bool IsBrowserButtonRegistered() const override { return true; }
        void SetAutostart(bool) override {}
        void SetBrowserButton(bool) override {}
    } registration;
    const bool& autostartAsked = registration.asked;
    LoadSettings(f, PathsIn(dir), s, &registration);
    EXPECT_EQ(s.whoisTimeout, 5000);
    EXPECT_EQ(s.HistoryLines, 8);
    EXPECT_TRUE(s.bUseRating);
    EXPECT_FALSE(s.bAsDomain);
    EXPECT_EQ(s.FontStyle, 15);
    EXPECT_EQ(s.PropWNDQuery, 2);
    EXPECT_EQ(s.MaxWhoisResults, 1); // brought into the dialog's range
    EXPECT_EQ(s.DefaultLang, "russian.lng");
    EXPECT_EQ(s.WhoisFileLink, "https://x.test/w.xml");
    EXPECT_EQ(s.proxyVersion, 3);
    EXPECT_EQ(s.proxyHost, "socks.test");
    EXPECT_EQ(s.proxyPassword, "p=ss;word");
    EXPECT_TRUE(autostartAsked);
    EXPECT_TRUE(s.StartWithWindows);
    EXPECT_TRUE(s.IntegrateToIE);
}

TEST(Settings, NumbersAreBroughtIntoTheRangesTheDialogAllows) {
    const struct {
        const char *key, *value;
        int32_t TSettings::*field;
        int32_t expected;
    } ints[] = {
        {"HistoryLines", "0", &TSettings::HistoryLines, 1}, // else the address box empties
        {"HistoryLines", "101", &TSettings::HistoryLines, 100},
        {"HistoryLines", "100", &TSettings::HistoryLines, 100},
        {"MaxWhoisResults", "0", &TSettings::MaxWhoisResults, 1},
        {"MaxWhoisResults", "0x7FFFFFFF", &TSettings::MaxWhoisResults, 1000},
        {"whoisTimeout", "-1", &TSettings::whoisTimeout, 0},
        {"whoisTimeout", "999999", &TSettings::whoisTimeout, 20000},
        {"proxyPort", "0", &TSettings::proxyPort, 1},
        {"proxyPort", "70000", &TSettings::proxyPort, 65535},
        {"proxyVersion", "9", &TSettings::proxyVersion, 3},
        {"proxyVersion", "258", &TSettings::proxyVersion, 2}, // its low byte counts
        {"proxyAuthentication", "5", &TSettings::proxyAuthentication, 1},
        {"proxyAuthentication", "256", &TSettings::proxyAuthentication, 0},
    };
    TempDir dir;
    for (const auto& c : ints) {
        const char* section = std::string_view(c.key).starts_with("proxy") ? "Proxy" : "Defaults";
        ProfileFile f(
            dir.Write("t.ini", std::string("[") + section + "]\n" + c.key + "=" + c.value + "\n"));
        TSettings s;
        LoadSettings(f, PathsIn(dir), s);
        EXPECT_EQ(s.*c.field, c.expected) << c.key << "=" << c.value;
    }
    for (const auto& [value, expected] : {std::pair{"7", 2}, {"-1", 2}, {"1", 1}}) {
        ProfileFile f(dir.Write("t.ini", std::string("[Defaults]\nPropWNDQuery=") + value));
        TSettings s;
        LoadSettings(f, PathsIn(dir), s);
        EXPECT_EQ(s.PropWNDQuery, expected) << value;
    }
}

TEST(Settings, FirstSaveWritesEveryKeyInOrder) {
    TempDir dir;
    ProfileFile f(dir / "tesseron.ini", 0600);
    TSettings s;
    s.WhoisFileLink = "https://example.test/tesseron/whois.xml";
    SaveSettings(f, s);
    SaveWindowPlacement(f, WindowStateValue::Normal, {0, 0, 722, 564});
    EXPECT_EQ(ReadFile(dir / "tesseron.ini"),
              "[Defaults]\n"
              "DefaultLang=english.lng\n"
              "bUseRating=1\n"
              "bAsDomain=1\n"
              "bShowRawAnswer=0\n"
              "HistoryLines=8\n"
              "pnlQureyWidth=300\n"
              "whoisTimeout=5000\n"
              "PropWNDQuery=0\n"
              "UpdateIfExists=1\n"
              "bSmartFilterURL=1\n"
              "DetermineIpAddress=1\n"
              "DetermineReverseName=1\n"
              "TextColor=-16777208\n"
              "BackgroundColor=-16777211\n"
              "FontName=Arial\n"
              "FontSize=10\n"
              "FontStyle=0\n"
              "MaxWhoisResults=50\n"
              "RdapMode=1\n"
              "[Default]\n"
              "WhoisFileLink=https://example.test/tesseron/whois.xml\n"
              "RdapBootstrapUrl=https://data.iana.org/rdap/\n"
              "[Proxy]\n"
              "proxyUserName=\n"
              "proxyPassword=\n"
              "proxyAuthentication=0\n"
              "proxyHost=\n"
              "proxyPort=1080\n"
              "proxyVersion=0\n"
              "[Window Position]\n"
              "Top=0\n"
              "Left=0\n"
              "Width=722\n"
              "Height=564\n"
              "[Window State]\n"
              "WindowState=0\n");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "tesseron.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the file holds the proxy password";
}

TEST(Settings, SaveKeepsUnknownKeysAndPlacesAndNormalisesValues) {
    TempDir dir;
    const auto p = dir.Write("tesseron.ini", "; my notes\n"
                                             "[Proxy]\nproxyPort=0x438\nmyOwnKey=keep me\n"
                                             "[Defaults]\nbUseRating=2\nFontStyle=31\n");
    ProfileFile f(p);
    TSettings s;
    LoadSettings(f, PathsIn(dir), s);
    SaveSettings(f, s);
    const auto text = ReadFile(p);
    EXPECT_EQ(text.rfind("; my notes\n[Proxy]\nproxyPort=1080\nmyOwnKey=keep me\n", 0), 0u) << text;
    EXPECT_NE(text.find("[Defaults]\nbUseRating=1\nFontStyle=15\nDefaultLang="), std::string::npos)
        << text;
    EXPECT_LT(text.find("[Proxy]"), text.find("[Defaults]"));
}

TEST(Settings, EveryKeySurvivesASaveAndALoad) {
    // Every field away from its default and inside its range: a key that is not saved,
    // not read, or read into another field shows as a difference.
    TSettings s = test::SampleSettings();
    s.bUseRating = false;
    s.bShowRawAnswer = true;
    s.bAsDomain = false;
    s.DefaultLang = "russian.lng";
    s.pnlQureyWidth = 260;
    s.DetermineIpAddress = false;
    s.WhoisFileLink = "https://example.test/list.xml";
    s.RdapBootstrapUrl = "http://127.0.0.1:8080/rdap/";
    TempDir dir;
    ProfileFile f(dir / "tesseron.ini");
    SaveSettings(f, s);
    TSettings loaded;
    LoadSettings(ProfileFile(dir / "tesseron.ini"), PathsIn(dir), loaded);
    s.ServerListPath = loaded.ServerListPath;
    s.ResultsPath = loaded.ResultsPath;
    EXPECT_EQ(loaded, s);
    EXPECT_EQ(f.ReadSectionKeys("Defaults").size() + f.ReadSectionKeys("Default").size() +
                  f.ReadSectionKeys("Proxy").size(),
              SettingKeys().size())
        << "one key per row";
}

struct PlacementCase {
    const char* name;
    WindowStateValue state;
    const char* expectedPosition; // section text after saving
};

TEST(Settings, WindowPositionIsKeptWhileNotNormal) {
    const PlacementCase cases[] = {
        {"normal", WindowStateValue::Normal, "Top=20\nLeft=10\nWidth=800\nHeight=600\n"},
        {"maximized", WindowStateValue::Maximized, "Top=1\nLeft=2\nWidth=3\nHeight=4\n"},
        {"minimized", WindowStateValue::Minimized, "Top=1\nLeft=2\nWidth=3\nHeight=4\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const auto p = dir.Write("t.ini", "[Window Position]\nTop=1\nLeft=2\nWidth=3\nHeight=4\n"
                                          "[Window State]\nWindowState=7\n");
        ProfileFile f(p);
        EXPECT_EQ(ReadWindowState(f), 7) << c.name;
        SaveWindowPlacement(f, c.state, {20, 10, 800, 600});
        EXPECT_EQ(ReadFile(p), std::string("[Window Position]\n") + c.expectedPosition +
                                   "[Window State]\nWindowState=" +
                                   std::to_string(static_cast<int>(c.state)) + "\n")
            << c.name;
    }
}

TEST(Settings, PlacementDefaultsToDesignedSizeAtOrigin) {
    TempDir dir;
    ProfileFile f(dir.Write("t.ini", "[Window Position]\nLeft=-30000\nHeight=zz\n"));
    const auto p = ReadWindowPlacement(f, {0, 0, 722, 564});
    EXPECT_EQ(p.top, 0);
    EXPECT_EQ(p.left, -30000); // applied as read, even far off screen
    EXPECT_EQ(p.width, 722);
    EXPECT_EQ(p.height, 564);
}

TEST(ProgramPathsTest, InPlaceAndInstalledLayouts) {
    TempDir dir;
    std::filesystem::create_directories(dir / "usr" / "bin");
    std::filesystem::create_directories(dir / "usr" / "share" / "tesseron");

    const auto inPlace = ProgramPaths::Locate(dir / "build" / "tesseron", {}, true);
    EXPECT_EQ(inPlace.SettingsFile(), dir / "build" / "tesseron.ini");
    EXPECT_EQ(inPlace.ServerListFile(), dir / "build" / "whois.xml");
    EXPECT_EQ(inPlace.LanguagesDir(), dir / "build" / "languages");

    const ProgramPaths::Environment env{(dir / "cfg").string(), (dir / "home").string()};
    const auto installed = ProgramPaths::Locate(dir / "usr" / "bin" / "tesseron", env, false);
    EXPECT_EQ(installed.dataDir, dir / "usr" / "share" / "tesseron");
    EXPECT_EQ(installed.SettingsFile(), dir / "cfg" / "tesseron" / "tesseron.ini");
    EXPECT_EQ(installed.ResultsFile(), dir / "cfg" / "tesseron" / "whois_result.xml");
    EXPECT_EQ(installed.ServerListFile(), dir / "usr" / "share" / "tesseron" / "whois.xml");

    installed.EnsureWritableDir();
    dir.Write("cfg/tesseron/whois.xml", "<w/>");
    EXPECT_EQ(installed.ServerListFile(), dir / "cfg" / "tesseron" / "whois.xml")
        << "an updated list wins over the shipped one";
    // The registries' data, file by file, the same way.
    std::filesystem::create_directories(dir / "cfg" / "tesseron" / "rdap");
    dir.Write("cfg/tesseron/rdap/asn.json", "{}");
    EXPECT_EQ(installed.RdapFile("asn.json"), dir / "cfg" / "tesseron" / "rdap" / "asn.json");
    EXPECT_EQ(installed.RdapFile("ipv4.json"),
              dir / "usr" / "share" / "tesseron" / "rdap" / "ipv4.json");
    EXPECT_EQ(inPlace.RdapFile("ipv4.json"), dir / "build" / "rdap" / "ipv4.json");

    const ProgramPaths::Environment relative{"relative/cfg", (dir / "home").string()};
    EXPECT_EQ(ProgramPaths::Locate(dir / "usr" / "bin" / "tesseron", relative, false).writableDir,
              dir / "home" / ".config" / "tesseron");
}

} // namespace
