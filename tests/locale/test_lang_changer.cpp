#include "desktop/AtomicFile.h"
#include "locale/LangChanger.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/stat.h>

using namespace tesseron;
using tesseron::test::ReadFile;
using tesseron::test::TempDir;

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (auto& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// An object with properties, as a form, a component or a font; names ignore case.
// Assigned values are kept as text: numbers in decimal, list items joined by "|".
struct FakeObject {
    std::string className;
    std::map<std::string, PropertyKind> kinds;
    std::map<std::string, std::string> values;
    std::map<std::string, std::shared_ptr<FakeObject>> subs, components;
    int assignments = 0;
};

class FakeTarget : public TranslationTarget {
public:
    explicit FakeTarget(std::shared_ptr<FakeObject> o) : o_(std::move(o)) {}
    std::string ClassName() const override { return o_->className; }
    std::unique_ptr<TranslationTarget> FindComponent(std::string_view name) override {
        return Wrap(o_->components, name);
    }
    PropertyKind KindOf(std::string_view p) const override {
        const auto it = o_->kinds.find(Lower(p));
        return it == o_->kinds.end() ? PropertyKind::None : it->second;
    }
    std::unique_ptr<TranslationTarget> SubObject(std::string_view p) override {
        return Wrap(o_->subs, p);
    }
    void SetInteger(std::string_view p, int64_t v) override { Set(p, std::to_string(v)); }
    void SetFloat(std::string_view p, double v) override {
        std::ostringstream s;
        s << v;
        Set(p, s.str());
    }
    void SetText(std::string_view p, const std::string& v) override { Set(p, v); }
    void SetStringList(std::string_view p, const std::vector<std::string>& v) override {
        std::string joined;
        for (const auto& item : v)
            joined += (joined.empty() ? "" : "|") + item;
        Set(p, "[" + joined + "]");
    }

private:
    static std::unique_ptr<TranslationTarget>
    Wrap(const std::map<std::string, std::shared_ptr<FakeObject>>& m, std::string_view name) {
        const auto it = m.find(Lower(name));
        return it == m.end() ? nullptr : std::make_unique<FakeTarget>(it->second);
    }
    void Set(std::string_view p, std::string v) {
        o_->values[Lower(p)] = std::move(v);
        ++o_->assignments;
    }
    std::shared_ptr<FakeObject> o_;
};

// A main window with a caption, a number, a scale, a font, a menu item and a combo box.
std::shared_ptr<FakeObject> MakeMainForm(std::string className = "TTesseronForm") {
    auto form = std::make_shared<FakeObject>();
    form->className = std::move(className);
    form->kinds = {{"caption", PropertyKind::Text},
                   {"tag", PropertyKind::Integer},
                   {"scale", PropertyKind::Float},
                   {"font", PropertyKind::Object}};
    form->subs["font"] = std::make_shared<FakeObject>();
    form->subs["font"]->kinds = {{"name", PropertyKind::Text}, {"size", PropertyKind::Integer}};
    form->components["mnchangelang"] = std::make_shared<FakeObject>();
    form->components["mnchangelang"]->kinds = {{"caption", PropertyKind::Text}};
    form->components["cmbproxyversion"] = std::make_shared<FakeObject>();
    form->components["cmbproxyversion"]->kinds = {{"items", PropertyKind::StringList}};
    return form;
}

std::string LangFile(std::string_view lines) {
    return "[Translations]\r\n" + std::string(lines);
}

TEST(LangChanger, SeparatorFallsBackToCommaWhenBlank) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ","}, {" ", ","}, {"\t ", ","}, {" | ", " | "}, {";", ";"}};
    for (const auto& [given, expected] : cases) {
        TLangChanger changer;
        changer.SetSeparator(given);
        EXPECT_EQ(changer.Separator(), expected) << '"' << given << '"';
    }
}

TEST(LangChanger, BuildsListsKeepingInnerEmptyItemsOnly) {
    struct Case {
        std::string separator, value;
        std::vector<std::string> items;
    };
    const std::vector<Case> cases = {
        {",", "a, b,c", {"a", "b", "c"}},
        {",", "a,,b", {"a", "", "b"}},
        {",", "a,b,", {"a", "b"}},
        {",", "Socks 4, Socks 4.0A, Socks 5,", {"Socks 4", "Socks 4.0A", "Socks 5"}},
        {",", "", {}},
        {",", " , ", {""}},
        {" | ", "x | y|z | ", {"x", "y|z"}},
    };
    for (const auto& c : cases) {
        TLangChanger changer;
        changer.SetSeparator(c.separator);
        EXPECT_EQ(changer.BuildList(c.value), c.items) << c.value;
    }
}

TEST(LangChanger, ReplacesEveryOccurrenceWithoutRescanning) {
    EXPECT_EQ(TLangChanger::ExpandLineBreaks("one{ENTER}two{ENTER}"), "one\r\ntwo\r\n");
    EXPECT_EQ(TLangChanger::ExpandLineBreaks("one{enter}two{Enter}"), "one{enter}two{Enter}");
    EXPECT_EQ(TLangChanger::ReplaceAll("aaa", "a", "aa"), "aaaaaa");
    EXPECT_EQ(TLangChanger::ReplaceAll("abAB", "ab", "x"), "xAB");
    EXPECT_EQ(TLangChanger::ReplaceAll("abc", "", "x"), "abc");
}

TEST(LangChanger, SelectingAFileNormalisesBareLinesWithCrLf) {
    TempDir dir;
    const auto path = dir.Write("t.lng", "  [Translations]  \n"
                                         "  sAddress  \n"
                                         "; a comment\r"
                                         "\r\n"
                                         "sServer = Server \r\n"
                                         "   \n"
                                         "sDate=Date");
    TLangChanger changer;
    changer.SetLangFile("  " + path.string() + " ");
    EXPECT_EQ(changer.LangFile(), path.string());
    EXPECT_EQ(ReadFile(path), "[Translations]\r\nsAddress=\r\n; a comment=\r\n\r\n"
                              "sServer = Server \r\n\r\nsDate=Date\r\n");
    EXPECT_EQ(changer.TranslateString("sAddress"), "");
    EXPECT_EQ(changer.TranslateString("SSERVER"), "Server");
}

// A tidied file is tidy: a second pass changes nothing, whatever the first line held.
TEST(LangChanger, TidyingATidiedTextChangesNothing) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"\x01\xEF\xBB\xBF\x01[x]\n", "\xEF\xBB\xBF[x]\r\n"},
        {" \xEF\xBB\xBF \xEF\xBB\xBF\tkey\n", "\xEF\xBB\xBFkey=\r\n"},
        {"\x01\xEF\xBB\xBF\n[x]", "\xEF\xBB\xBF\r\n[x]\r\n"},
        {"\xEF\xBB\xBF \xEF\xBB\xBF\x61=b\n", "\xEF\xBB\xBF \xEF\xBB\xBF\x61=b\r\n"},
        {"a\n \xEF\xBB\xBF b\n", "a=\r\n\xEF\xBB\xBF b=\r\n"},
    };
    for (const auto& [in, tidy] : cases) {
        EXPECT_EQ(NormaliseLanguageText(in), tidy) << in;
        EXPECT_EQ(NormaliseLanguageText(tidy), tidy) << in;
    }
}

TEST(LangChanger, SamePathAgainDoesNotRewrite) {
    TempDir dir;
    const auto path = dir.Write("t.lng", LangFile("a=1\r\n"));
    TLangChanger changer;
    changer.SetLangFile(path.string());
    dir.Write("t.lng", LangFile("bare\r\n"));
    changer.SetLangFile(path.string());
    EXPECT_EQ(ReadFile(path), LangFile("bare\r\n"));
    const auto other = dir.Write("u.lng", LangFile("bare\n"));
    changer.SetLangFile(other.string());
    EXPECT_EQ(ReadFile(other), LangFile("bare=\r\n"));
}

// A read-only file is rewritten only when it needs normalising, and then refused.
TEST(LangChanger, ReadOnlyFileIsRefusedOnlyWhenItNeedsARewrite) {
    for (const std::string extra : {"", "bare\r\n"}) {
        TempDir dir;
        const auto content = LangFile("sAddress=Address\r\n" + extra);
        const auto path = dir.Write("t.lng", content);
        ::chmod(path.c_str(), 0444);
        TLangChanger changer;
        try {
            changer.SetLangFile(path.string());
            EXPECT_TRUE(extra.empty()) << "a needed rewrite of a read-only file must raise";
        } catch (const FileWriteError& e) {
            EXPECT_FALSE(extra.empty()) << e.what();
            EXPECT_NE(std::string(e.what()).find(path.string()), std::string::npos) << e.what();
        }
        EXPECT_EQ(ReadFile(path), content);
        EXPECT_EQ(changer.LangFile(), path.string());
        EXPECT_EQ(changer.TranslateString("sAddress"), "Address");
    }
}

TEST(LangChanger, TranslateStringRules) {
    TempDir dir;
    const auto path = dir.Write("t.lng", LangFile("sTwo=one{ENTER}two\r\n"
                                                  "sQuoted=\"  padded  \"\r\n"
                                                  "sDup=first\r\n"
                                                  "SDUP=second\r\n"
                                                  "[Other]\r\n"
                                                  "sOther=x\r\n"));
    TLangChanger changer;
    EXPECT_EQ(changer.TranslateString("sTwo"), "sTwo") << "no file selected";
    changer.SetLangFile((dir / "missing.lng").string());
    EXPECT_EQ(changer.TranslateString("sTwo"), "sTwo");
    changer.SetLangFile(path.string());
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"sTwo", "one\r\ntwo"}, {"stwo", "one\r\ntwo"}, {"sQuoted", "  padded  "},
        {"sDup", "first"},      {"sOther", "sOther"},   {"sMissing", "sMissing"}};
    for (const auto& [key, expected] : cases)
        EXPECT_EQ(changer.TranslateString(key), expected) << key;

    // Nothing is cached: an edit shows at the next call.
    dir.Write("t.lng", LangFile("sTwo=changed text\r\n"));
    EXPECT_EQ(changer.TranslateString("sTwo"), "changed text");
}

TEST(LangChanger, KeyListStopsAtItsBufferSize) {
    TempDir dir;
    std::string body;
    // Each name takes 100 bytes with its zero byte; 327 of them and the final zero fit.
    for (int i = 0; i < 400; ++i) {
        std::string name = "k" + std::to_string(1000 + i);
        name.resize(99, 'x');
        body += name + "=v\r\n";
    }
    body += "TesseronForm.Caption=Late\r\n";
    const auto path = dir.Write("t.lng", LangFile(body));
    TLangChanger changer;
    changer.SetLangFile(path.string());
    std::vector<std::string> keys{"stale"};
    changer.ReadSectionKeys("translations", keys);
    ASSERT_EQ(keys.size(), 327u);
    EXPECT_EQ(keys.front().substr(0, 5), "k1000");
    EXPECT_EQ(keys.back().substr(0, 5), "k1326");

    auto form = MakeMainForm();
    FakeTarget target(form);
    changer.TranslateForm(target);
    EXPECT_EQ(form->assignments, 0) << "a key beyond the list is not seen";
    EXPECT_EQ(changer.TranslateString("TesseronForm.Caption"), "Late");
}

TEST(LangChanger, TranslatesFormKeysWhateverTheirLetterCase) {
    const std::vector<std::string> keys = {
        "TesseronForm.mnChangeLang.Caption", "tesseronform.mnChangeLang.Caption",
        "TesseronForm.MNCHANGELANG.Caption", "TesseronForm.mnChangeLang.caption"};
    for (const auto& key : keys) {
        TempDir dir;
        const auto path = dir.Write("t.lng", LangFile(key + "=Select{ENTER}Language\r\n"
                                                            "sAddress=Address\r\n"));
        TLangChanger changer;
        changer.SetLangFile(path.string());
        auto form = MakeMainForm();
        FakeTarget target(form);
        changer.TranslateForm(target);
        EXPECT_EQ(form->components.at("mnchangelang")->values["caption"], "Select\r\nLanguage")
            << key;
        EXPECT_EQ(form->assignments + form->components.at("mnchangelang")->assignments, 1)
            << "a message key changes no form";
    }
}

TEST(LangChanger, AppliesPropertiesByKind) {
    struct Case {
        std::string line, object, property, expected; // object: "" the form, else a part
    };
    const std::vector<Case> cases = {
        {"Tag=42", "", "tag", "42"},
        {"Tag=-7", "", "tag", "-7"},
        {"Tag=abc", "", "tag", ""},
        {"Tag=1.5", "", "tag", ""},
        {"Scale=1,5", "", "scale", "1.5"},
        {"Scale=2.25", "", "scale", "2.25"},
        {"Scale=1,2,3", "", "scale", ""},
        {"Scale=many", "", "scale", ""},
        {"Caption=Main window", "", "caption", "Main window"},
        // "Font" is no component, so it is read as a property of the form.
        {"Font.Name=Arial", "font", "name", "Arial"},
        {"font.SIZE=9", "font", "size", "9"},
        {"cmbProxyVersion.Items=Socks 4, Socks 4.0A, Socks 5,", "cmbproxyversion", "items",
         "[Socks 4|Socks 4.0A|Socks 5]"},
        {"mnChangeLang.Caption=", "mnchangelang", "caption", ""},
        // Unknown names end the key silently.
        {"Nothing=1", "", "nothing", ""},
        {"Nowhere.Caption=x", "", "caption", ""},
        {"Font.Nothing.Size=1", "font", "size", ""},
        {"Caption.Size=1", "", "caption", ""},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const auto path = dir.Write("t.lng", LangFile("TesseronForm." + c.line + "\r\n"));
        TLangChanger changer;
        changer.SetLangFile(path.string());
        auto form = MakeMainForm();
        FakeTarget target(form);
        EXPECT_NO_THROW(changer.TranslateForm(target)) << c.line;
        auto& object = c.object.empty()                 ? *form
                       : form->subs.count(c.object) > 0 ? *form->subs[c.object]
                                                        : *form->components[c.object];
        EXPECT_EQ(object.values[c.property], c.expected) << c.line;
        EXPECT_EQ(object.assignments, c.expected.empty() && c.line.back() != '=' ? 0 : 1) << c.line;
    }
}

TEST(LangChanger, ListForAnObjectPropertyEndsThePass) {
    TempDir dir;
    const auto path = dir.Write("t.lng", LangFile("TesseronForm.Caption=First\r\n"
                                                  "TesseronForm.Font=Arial\r\n"
                                                  "TesseronForm.Tag=5\r\n"));
    TLangChanger changer;
    changer.SetLangFile(path.string());
    auto form = MakeMainForm();
    FakeTarget target(form);
    EXPECT_THROW(changer.TranslateForm(target), TranslationError);
    EXPECT_EQ(form->values["caption"], "First");
    EXPECT_EQ(form->values.count("tag"), 0u) << "keys after the failure are not applied";
}

TEST(LangChanger, KeyListedTwiceIsAppliedTwiceWithItsFirstValue) {
    TempDir dir;
    const auto path = dir.Write("t.lng", LangFile("TesseronForm.Caption=First\r\n"
                                                  "TESSERONFORM.CAPTION=Second\r\n"));
    TLangChanger changer;
    changer.SetLangFile(path.string());
    auto form = MakeMainForm();
    FakeTarget target(form);
    changer.TranslateForm(target);
    EXPECT_EQ(form->assignments, 2);
    EXPECT_EQ(form->values["caption"], "First");
}

TEST(LangChanger, TranslatesEveryOpenFormOfTheClass) {
    TempDir dir;
    const auto path = dir.Write("t.lng", LangFile("dlgOptions.Caption=Options\r\n"
                                                  "TesseronForm.Caption=Main\r\n"));
    std::vector<std::shared_ptr<FakeObject>> open = {
        MakeMainForm("TdlgOptions"), MakeMainForm("TTesseronForm"), MakeMainForm("TDLGOPTIONS")};
    int asked = 0;
    TLangChanger changer([&] {
        ++asked;
        std::vector<std::unique_ptr<TranslationTarget>> forms;
        for (const auto& f : open)
            forms.push_back(std::make_unique<FakeTarget>(f));
        return forms;
    });
    changer.TranslateForm();
    EXPECT_EQ(asked, 0) << "no file selected: nothing to do";
    changer.SetLangFile(path.string());
    changer.TranslateForm();
    EXPECT_EQ(open[0]->values["caption"], "Options");
    EXPECT_EQ(open[1]->values["caption"], "Main");
    EXPECT_EQ(open[2]->values["caption"], "Options");
}

} // namespace
