#include "desktop/ProgramPaths.h"
#include "locale/LangChanger.h"
#include "locale/Language.h"
#include "locale/TextFormat.h"
#include "mainwin/ProfileFile.h"
#include "mainwin/Settings.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace tesseron;
using tesseron::test::ReadFile;
using tesseron::test::TempDir;

namespace {

const std::filesystem::path kShipped = std::filesystem::path(TESSERON_SOURCE_DIR) / "data";

ProgramPaths PathsIn(const TempDir& dir) {
    return {dir.path(), dir.path(), dir.path()};
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
        LoadLanguage(changer, messages, settings, PathsIn(dir), hooks);
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

    LoadLanguage(changer, messages, settings, PathsIn(dir), hooks);
    EXPECT_EQ(changer.LangFile(), (dir / "languages" / "english.lng").string());
    EXPECT_EQ(Format(messages.sStartWhois, "example.com"), "Query example.com started");
    EXPECT_EQ(caption, "Address");

    settings.DefaultLang = "russian.lng";
    LoadLanguage(changer, messages, settings, PathsIn(dir), hooks);
    EXPECT_EQ(caption, "Адрес");

    // A name in other letter case still finds the file.
    settings.DefaultLang = "ENGLISH.LNG";
    LoadLanguage(changer, messages, settings, PathsIn(dir), hooks);
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

} // namespace
