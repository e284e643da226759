#include "desktop/ProfileFile.h"
#include "desktop/ProgramPaths.h"
#include "locale/LangChanger.h"
#include "locale/Language.h"
#include "locale/TextFormat.h"
#include "mainwin/Settings.h"
#include "query/uWhoisRequestThread.h"
#include "support/FakeServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace tesseron;
using tesseron::test::ReadFile;
using tesseron::test::TempDir;

namespace {

const std::filesystem::path kShipped = std::filesystem::path(TESSERON_SOURCE_DIR) / "data";

ProgramPaths PathsIn(const TempDir& dir) {
    return {dir.path(), dir.path(), dir.path(), {}, false};
}

void CopyShipped(const TempDir& dir, const std::string& name) {
    std::filesystem::create_directories(dir / "languages");
    std::filesystem::copy_file(kShipped / "languages" / name, dir / "languages" / name,
                               std::filesystem::copy_options::overwrite_existing);
}

int Occurrences(std::string_view text, std::string_view what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(Language, WithoutAFileEveryTextIsItsDefault) {
    TempDir dir;
    TLangChanger changer;
    MessageTable messages;
    messages.sAddress = "left over";
    TSettings settings;
    int translated = 0;
    std::vector<std::string> captions;
    LanguageHooks hooks;
    hooks.translateOpenForms = [&](TLangChanger&) { ++translated; };
    hooks.setColumnCaptions = [&](const MessageTable& m) {
        captions = {m.sAddress, m.sServer, m.sDate};
    };
    for (const std::string lang : {"english.lng", ""}) {
        settings.DefaultLang = lang;
        LoadLanguage(changer, messages, settings.DefaultLang, PathsIn(dir), hooks);
        // The key itself, or the English text of a key added later.
        const MessageTable defaults;
        for (const auto& k : MessageKeys())
            EXPECT_EQ(messages.*k.text, defaults.*k.text);
    }
    EXPECT_EQ(translated, 2);
    EXPECT_EQ(captions, (std::vector<std::string>{"sAddress", "sServer", "sDate"}));
}

TEST(Language, LoadsAndSwitchesLanguages) {
    TempDir dir;
    CopyShipped(dir, "english.lng");
    CopyShipped(dir, "russian.lng");
    TLangChanger changer;
    MessageTable messages;
    TSettings settings;
    std::string caption;
    LanguageHooks hooks;
    hooks.setColumnCaptions = [&](const MessageTable& m) { caption = m.sAddress; };

    LoadLanguage(changer, messages, settings.DefaultLang, PathsIn(dir), hooks);
    EXPECT_EQ(changer.LangFile(), (dir / "languages" / "english.lng").string());
    EXPECT_EQ(Format(messages.sStartWhois, "example.com"), "Query example.com started");
    EXPECT_EQ(caption, "Address");

    settings.DefaultLang = "russian.lng";
    LoadLanguage(changer, messages, settings.DefaultLang, PathsIn(dir), hooks);
    EXPECT_EQ(caption, "Адрес");

    // A name in other letter case still finds the file.
    settings.DefaultLang = "ENGLISH.LNG";
    LoadLanguage(changer, messages, settings.DefaultLang, PathsIn(dir), hooks);
    EXPECT_EQ(messages.sAddress, "Address");
}

TEST(Language, ShippedFilesHaveEveryKeyWithOnePlaceholderWhereAnArgumentIsTaken) {
    for (const std::string name : {"english.lng", "russian.lng"}) {
        TempDir dir;
        CopyShipped(dir, name);
        const auto path = dir / "languages" / name;
        const auto bytes = ReadFile(path);
        EXPECT_EQ(Occurrences(bytes, "\n"), Occurrences(bytes, "\r\n")) << name << ": CR LF";

        TLangChanger changer;
        changer.SetLangFile(path.string());
        EXPECT_EQ(ReadFile(path), bytes) << name << " must need no normalisation";

        const ProfileFile file(path);
        for (const auto& k : MessageKeys()) {
            const auto text = file.Read("Translations", k.key);
            ASSERT_TRUE(text.has_value()) << name << ": " << k.key;
            EXPECT_FALSE(text->empty()) << name << ": " << k.key;
            if (k.takesArgument) {
                EXPECT_EQ(Occurrences(*text, "%s"), 1) << name << ": " << k.key;
                EXPECT_NE(Format(*text, "ARG").find("ARG"), std::string::npos) << k.key;
            } else {
                EXPECT_EQ(Occurrences(*text, "%"), 0) << name << ": " << k.key;
            }
        }
    }
}

// A text that cannot take its argument is replaced by the English one with a warning that
// names the key; usable texts, plain texts and keys the file lacks stay as they are.
TEST(Language, ArgumentTextsThatCannotTakeTheirArgumentFallBackToEnglish) {
    TempDir dir;
    std::filesystem::create_directories(dir / "languages");
    dir.Write("languages/broken.lng", "[Translations]\r\n"
                                      "sStartWhois=Query %d started\r\n"
                                      "sQueryServer=%s and %s\r\n"
                                      "sTLDS=Zones\r\n"
                                      "sStopWhoisSucces=\r\n"
                                      "sStopWhoisFail=Ende %-12s 100%%\r\n"
                                      "sDate=100%\r\n");
    TLangChanger changer;
    MessageTable messages;
    TSettings settings;
    settings.DefaultLang = "broken.lng";
    std::vector<std::string> warnings;
    LanguageHooks hooks;
    hooks.warn = [&](const std::string& w) { warnings.push_back(w); };
    LoadLanguage(changer, messages, settings.DefaultLang, PathsIn(dir), hooks);

    EXPECT_EQ(messages.sStartWhois, "Query %s started");
    EXPECT_EQ(messages.sQueryServer, "Asking the WHOIS server %s");
    EXPECT_EQ(messages.sTLDS, "Zones: %s");
    EXPECT_EQ(messages.sStopWhoisSucces, "Query %s finished");
    EXPECT_EQ(messages.sStopWhoisFail, "Ende %-12s 100%%");
    EXPECT_EQ(messages.sDate, "100%");
    EXPECT_EQ(messages.sIPDetermined, "sIPDetermined");
    // In the order of the table.
    const std::vector<std::string> named = {"sStartWhois", "sQueryServer", "sStopWhoisSucces",
                                            "sTLDS"};
    ASSERT_EQ(warnings.size(), named.size());
    for (std::size_t i = 0; i < named.size(); ++i)
        EXPECT_NE(warnings[i].find(named[i]), std::string::npos) << warnings[i];

    // Every fallback is itself usable.
    for (const auto& k : MessageKeys())
        if (k.takesArgument) {
            EXPECT_NO_THROW(CheckArgumentText(k.english)) << k.key;
        }
}

// Calls straight through on the worker; read only after the run has ended.
struct LogUi final : RunLog, ResultSink {
    std::vector<std::string> log;
    std::vector<std::string> stored;
    void AddLogLine(LogImage, const std::string& text) override { log.push_back(text); }
    std::optional<QueuedEntry> ReadQueued(ResultId) override { return std::nullopt; }
    std::optional<ResultId> StoreAnswer(const StoreRequest& r) override {
        stored.push_back(r.QueryString);
        return std::nullopt;
    }
    void EndOfRun(bool) override {}
};

// A broken text reaching a run, loaded or not, never turns the query into a silent
// success: the address is asked, and success is reported only when a server answered.
TEST(Language, ABrokenTextNeverMakesARunANoOp) {
    MessageTable loaded;
    {
        TempDir dir;
        std::filesystem::create_directories(dir / "languages");
        dir.Write("languages/x.lng", "[Translations]\r\nsStartWhois=Query %d started\r\n");
        TLangChanger changer;
        TSettings settings;
        settings.DefaultLang = "x.lng";
        LanguageHooks hooks;
        hooks.warn = [](const std::string&) {};
        LoadLanguage(changer, loaded, settings.DefaultLang, PathsIn(dir), hooks);
    }
    MessageTable unchecked;
    unchecked.sStartWhois = "Query %d started";
    unchecked.sStopWhoisSucces = "%s %s";

    for (const MessageTable* messages : {&loaded, &unchecked}) {
        for (const bool answering : {true, false}) {
            int port = 0;
            std::unique_ptr<test::FakeWhoisServer> server;
            if (answering) {
                server = std::make_unique<test::FakeWhoisServer>(
                    test::WhoisBehaviour::Answer("Domain: a.test\n"));
                port = server->port();
            } else {
                port = test::FakeWhoisServer().port(); // closed again: refused
            }
            RunSettings run;
            run.bUseRating = false;
            run.DetermineIpAddress = false;
            run.DetermineReverseName = false;
            run.serverBoxText = "127.0.0.1:" + std::to_string(port);
            LogUi ui;
            TWhoisRequestThread thread({{"a.test"}, {}, true}, run, nullptr, nullptr, *messages, ui,
                                       ui);
            thread.Wait();
            EXPECT_EQ(thread.ErrorCode() == QueryOk, answering);
            EXPECT_EQ(ui.stored,
                      answering ? std::vector<std::string>{"a.test"} : std::vector<std::string>{});
            if (server) {
                EXPECT_EQ(server->Queries(), std::vector<std::string>{"a.test"});
            }
            ASSERT_FALSE(ui.log.empty());
            EXPECT_EQ(ui.log.front(), Format(messages->sStartWhois, "a.test"));
        }
    }
}

TEST(Language, MenuListsLngFilesInAnyLetterCase) {
    const std::pair<std::string, bool> cases[] = {
        {"english.lng", true}, {"GERMAN.LNG", true},       {"Mixed.Lng", true}, {".lng", false},
        {"notes.txt", false},  {"english.lng.bak", false}, {"lng", false},      {"x.lngx", false},
    };
    for (const auto& [name, listed] : cases)
        EXPECT_EQ(IsLanguageFileName(name), listed) << name;
}

} // namespace
