#include "desktop/ProfileFile.h"
#include "support/PeakMemory.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using tesseron::ParseProfileInteger;
using tesseron::ProfileFile;
using tesseron::ProfileWriteError;
using tesseron::test::ReadFile;
using tesseron::test::TempDir;

namespace {

using namespace std::string_view_literals;

// Test names from the case tables' readable names.
const auto CaseName = [](const auto& info) {
    std::string n = info.param.name;
    for (auto& ch : n)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return n;
};

struct ReadCase {
    const char* name;
    std::string_view file;
    const char* section;
    const char* key;
    const char* expected; // nullptr: absent
};

const ReadCase kReadCases[] = {
    {"plain", "[A]\nk=v\n", "A", "k", "v"},
    {"section any case", "[Defaults]\nk=v\n", "dEfAuLtS", "k", "v"},
    {"key any case", "[A]\nWhoisTimeout=7\n", "A", "whoistimeout", "7"},
    {"blanks dropped", "  [ A ]  \n  k  =  v w  \n", "A", "k", "v w"},
    {"tabs dropped", "[A]\n\tk\t=\tv\t\n", "A", "k", "v"},
    {"crlf", "[A]\r\nk=v\r\n", "A", "k", "v"},
    {"quotes dropped", "[A]\nk=\"  v  \"\n", "A", "k", "  v  "},
    {"lone quote kept", "[A]\nk=\"v\n", "A", "k", "\"v"},
    {"first key wins", "[A]\nk=1\nK=2\n", "A", "k", "1"},
    {"first section wins", "[A]\nx=1\n[B]\nk=b\n[a]\nk=2\n", "A", "k", nullptr},
    {"other section", "[A]\nk=1\n[B]\nk=2\n", "B", "k", "2"},
    {"empty value", "[A]\nk=\n", "A", "k", ""},
    {"value with equals", "[A]\nk=a=b\n", "A", "k", "a=b"},
    {"key before any section", "k=1\n[A]\n", "A", "k", nullptr},
    {"missing key", "[A]\nj=1\n", "A", "k", nullptr},
    {"missing section", "[A]\nk=1\n", "B", "k", nullptr},
    {"section without bracket", "[A\nk=1\n", "A", "k", "1"},
    {"comment line", "[A]\n;k=1\nk=2\n", "A", "k", "2"},
    {"no final newline", "[A]\nk=v", "A", "k", "v"},
    {"utf8 bom", "\xEF\xBB\xBF[A]\nk=v\n", "A", "k", "v"},
    {"blank section name", "[Window Position]\nTop=5\n", "window position", "top", "5"},
    {"binary junk around", "\x01\x02\xff\n[A]\n\0\x7f=\nk=v\n\xfe"sv, "A", "k", "v"},
};

class ProfileRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ProfileRead, FindsValueLikeThePlatform) {
    const auto& c = GetParam();
    TempDir dir;
    ProfileFile f(dir.Write("t.ini", c.file));
    const auto v = f.Read(c.section, c.key);
    if (c.expected == nullptr) {
        EXPECT_FALSE(v.has_value()) << *v;
    } else {
        ASSERT_TRUE(v.has_value());
        EXPECT_EQ(*v, c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileRead, ::testing::ValuesIn(kReadCases), CaseName);

TEST(ProfileRead, LongValuesAreCutTo2047) {
    TempDir dir;
    ProfileFile f(dir.Write("t.ini", "[A]\nk=" + std::string(5000, 'x') + "\n"));
    EXPECT_EQ(f.ReadString("A", "k", "").size(), 2047u);
}

TEST(ProfileRead, TheCutCountsCharactersAndNeverSplitsOne) {
    const std::string ascii(2046, 'a');
    const std::string cyrillic2100 = [] {
        std::string s;
        for (int i = 0; i < 2100; ++i)
            s += "Ж";
        return s;
    }();
    const struct {
        std::string value, expected;
    } cases[] = {
        {ascii + "ЖЖ", ascii + "Ж"},                               // the 2047th is two bytes
        {cyrillic2100, cyrillic2100.substr(0, 2047 * 2)},          // 2047 letters, not 2047 bytes
        {ascii + "\xF0\x9F\x98\x80x", ascii + "\xF0\x9F\x98\x80"}, // four bytes, one character
    };
    TempDir dir;
    for (const auto& c : cases) {
        ProfileFile f(dir.Write("t.ini", "[S]\nk=" + c.value + "\n"));
        EXPECT_EQ(f.ReadString("S", "k", ""), c.expected);
    }
}

TEST(ProfileRead, MissingFileReadsAsEmpty) {
    TempDir dir;
    ProfileFile f(dir / "none.ini");
    EXPECT_EQ(f.ReadString("A", "k", "def"), "def");
    EXPECT_EQ(f.ReadInteger("A", "k", 42), 42);
    EXPECT_TRUE(f.ReadSectionKeys("A").empty());
}

TEST(ProfileRead, SeesChangesMadeOnDisk) {
    TempDir dir;
    const auto p = dir.Write("t.ini", "[A]\nk=1\n");
    ProfileFile f(p);
    EXPECT_EQ(f.ReadInteger("A", "k", 0), 1);
    dir.Write("t.ini", "[A]\nk=22\n");
    EXPECT_EQ(f.ReadInteger("A", "k", 0), 22);
}

TEST(ProfileRead, SectionKeysInFileOrderWithRepeats) {
    TempDir dir;
    ProfileFile f(dir.Write("t.ini", "[L]\nb=1\na=2\nB=3\nnot a key\nc=\n[M]\nd=1\n"));
    EXPECT_EQ(f.ReadSectionKeys("l"), (std::vector<std::string>{"b", "a", "B", "c"}));
}

struct IntCase {
    const char* text;
    std::optional<int32_t> expected;
};

TEST(ProfileInteger, ParsesDecimalAndHexLikeTheSettingsFile) {
    const IntCase cases[] = {
        {"5000", 5000},
        {"-16777208", -16777208},
        {"+7", 7},
        {"0x1388", 5000},
        {"0X1388", 5000},
        {"0xff000008", -16777208},
        {"0xFFFFFFFF", -1},
        {"0x", std::nullopt},
        {"0x100000000", std::nullopt},
        {"0xg", std::nullopt},
        {"abc", std::nullopt},
        {"12abc", std::nullopt},
        {"", std::nullopt},
        {"2147483647", 2147483647},
        {"2147483648", std::nullopt},
        {"-2147483648", INT32_MIN},
        {"++1", std::nullopt},
        {"1.5", std::nullopt},
        {"-0x10", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseProfileInteger(c.text), c.expected) << "text: " << c.text;
}

TEST(ProfileInteger, UnparsableValueGivesDefaultBooleansAnyNonZero) {
    TempDir dir;
    ProfileFile f(dir.Write("t.ini", "[D]\nt=abc\nh=0x1388\nb2=2\nb0=0\nbx=yes\nneg=-1\n"));
    EXPECT_EQ(f.ReadInteger("D", "t", 5000), 5000);
    EXPECT_EQ(f.ReadInteger("D", "h", 0), 5000);
    EXPECT_TRUE(f.ReadBool("D", "b2", false));
    EXPECT_FALSE(f.ReadBool("D", "b0", true));
    EXPECT_TRUE(f.ReadBool("D", "bx", true));
    EXPECT_FALSE(f.ReadBool("D", "bx", false));
    EXPECT_TRUE(f.ReadBool("D", "neg", false));
}

struct WriteCase {
    const char* name;
    const char* before;
    const char* section;
    const char* key;
    const char* value;
    const char* after;
};

const WriteCase kWriteCases[] = {
    {"new file", "", "A", "k", "v", "[A]\nk=v\n"},
    {"update keeps place", "[A]\na=1\nk=old\nb=2\n", "A", "k", "new", "[A]\na=1\nk=new\nb=2\n"},
    {"update keeps key spelling", "[A]\n  Key = old \n", "A", "KEY", "n", "[A]\nKey=n\n"},
    {"new key ends its section", "[A]\na=1\n\n[B]\nb=2\n", "A", "k", "v",
     "[A]\na=1\nk=v\n\n[B]\nb=2\n"},
    {"new section at end", "[A]\na=1\n", "B", "k", "v", "[A]\na=1\n[B]\nk=v\n"},
    {"unknown lines kept", "; note\n[A]\njunk line\nx=1\n[Z]\nq=9\n", "A", "x", "2",
     "; note\n[A]\njunk line\nx=2\n[Z]\nq=9\n"},
    {"crlf file stays crlf", "[A]\r\na=1\r\n", "A", "k", "v", "[A]\r\na=1\r\nk=v\r\n"},
    {"adds final newline", "[A]\na=1", "A", "a", "2", "[A]\na=2\n"},
    {"line breaks cannot forge keys", "[P]\n", "P", "proxyPassword", "x\n[Defaults]\ny=1",
     "[P]\nproxyPassword=x [Defaults] y=1\n"},
    {"second same-name section untouched", "[A]\na=1\n[a]\nk=1\n", "A", "k", "2",
     "[A]\na=1\nk=2\n[a]\nk=1\n"},
};

class ProfileWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(ProfileWrite, ChangesOnlyWhatItMust) {
    const auto& c = GetParam();
    TempDir dir;
    const auto p = dir / "t.ini";
    if (*c.before) dir.Write("t.ini", c.before);
    ProfileFile f(p);
    f.WriteString(c.section, c.key, c.value);
    EXPECT_EQ(ReadFile(p), c.after);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileWrite, ::testing::ValuesIn(kWriteCases), CaseName);

TEST(ProfileWrite, RefusedWriteRaisesWithThePath) {
    TempDir dir;
    // A plain file where the folder should be refuses the write, for root too.
    const auto p = dir.Write("not-a-folder", "x") / "t.ini";
    ProfileFile f(p);
    try {
        f.WriteString("A", "k", "v");
        FAIL() << "write below a plain file succeeded";
    } catch (const ProfileWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + p.string());
    }
}

TEST(ProfileWrite, MissingFolderIsARefusedWrite) {
    TempDir dir;
    const auto p = dir / "no" / "such" / "t.ini";
    ProfileFile f(p);
    EXPECT_THROW(f.WriteString("A", "k", "v"), ProfileWriteError);
    EXPECT_FALSE(std::filesystem::exists(p));
}

TEST(ProfileWrite, NewFileGetsRequestedModeExistingKeepsItsMode) {
    TempDir dir;
    const auto p = dir / "s.ini";
    ProfileFile f(p, 0600);
    f.WriteString("A", "k", "v");
    struct stat st {};
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    ::chmod(p.c_str(), 0640);
    f.WriteString("A", "k", "w");
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(f.ReadString("A", "k", ""), "w");
}

TEST(ProfileWrite, RoundTripsEveryKindOfValue) {
    TempDir dir;
    ProfileFile f(dir / "t.ini");
    f.WriteInteger("N", "neg", -16777211);
    f.WriteInteger("N", "max", INT32_MAX);
    f.WriteBool("N", "t", true);
    f.WriteString("S", "utf8", "Привет, мир");
    f.WriteString("S", "empty", "");
    EXPECT_EQ(f.ReadInteger("N", "neg", 0), -16777211);
    EXPECT_EQ(f.ReadInteger("N", "max", 0), INT32_MAX);
    EXPECT_EQ(f.ReadString("N", "t", ""), "1");
    EXPECT_EQ(f.ReadString("S", "utf8", ""), "Привет, мир");
    EXPECT_EQ(f.ReadString("S", "empty", "x"), "");
}

} // namespace

// A huge file of short lines is read and written within a few times its size.
TEST(ProfileWrite, AHugeFileOfShortLinesStaysWithinAFewTimesItsSize) {
    if (!tesseron::test::kResidentSizeMeaningful)
        GTEST_SKIP() << "resident sizes under a sanitizer";
    std::string content = "[Settings]\nHistoryLines=10\n";
    for (int i = 0; content.size() < 20'000'000; ++i) {
        content += "k" + std::to_string(i % 97) + "=v\n;\n\n";
        if (i % 64 == 0) content += "[s" + std::to_string(i) + "]\n";
    }
    TempDir dir;
    const auto path = dir.Write("huge.ini", content);
    const auto growth = tesseron::test::PeakMemoryGrowth([&] {
        ProfileFile file(path);
        if (file.ReadInteger("settings", "historylines", 0) != 10) throw std::logic_error("read");
        (void)file.ReadSectionKeys("s640");
        for (int i = 0; i < 50; ++i)
            (void)file.Read("Settings", "Missing" + std::to_string(i));
        file.WriteString("s64", "k1", "w");
        file.WriteString("s128", "new", "x");
        if (file.ReadString("s64", "k1", "") != "w" || file.ReadString("s128", "NEW", "") != "x")
            throw std::logic_error("write");
    });
    EXPECT_GE(growth, 0);
    EXPECT_LT(growth, 5 * static_cast<std::int64_t>(content.size())) << growth / 1'000'000 << " MB";
}
