#include "serverdb/ResultsFile.h"
#include "support/Child.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tesseron::test {
namespace {

TWhoisResultItem& AddEntry(TWhoisResultCollection& c, const std::string& query,
                           const std::string& answer, TQueryType type = QueryAsDomain) {
    TWhoisResultItem& item = c.Add();
    item.QueryString = query;
    item.ServerName = "whois.example";
    item.QueryDate = "1/31/2024 1:47:00 PM";
    item.RawAnswer = answer;
    item.QueryType = type;
    return item;
}

std::string LoadError(TWhoisResultCollection& c, const std::string& document) {
    try {
        ReadResultsFile(document, c);
    } catch (const ResultsFileError& e) {
        return e.what();
    }
    return "(no error)";
}

std::string Doc(const std::string& results) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><WhoisResult>" + results + "</WhoisResult>";
}

TEST(ResultsFile, WritesTheDocumentShape) {
    TWhoisResultCollection c;
    EXPECT_EQ(FormatResultsFile(c), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<WhoisResult/>\n");
    AddEntry(c, "example.com", "Domain: <a> & b\r\nline 2\n");
    TWhoisResultItem& second = c.Add();
    second.QueryType = QueryAsAddress;
    second.ErrorCode = -3;
    second.IpAddress = "192.0.2.1";
    EXPECT_EQ(FormatResultsFile(c), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                    "<WhoisResult>\n"
                                    "  <Result>\n"
                                    "    <QueryString>example.com</QueryString>\n"
                                    "    <ServerName>whois.example</ServerName>\n"
                                    "    <QueryDate>1/31/2024 1:47:00 PM</QueryDate>\n"
                                    "    <QueryType>0</QueryType>\n"
                                    "    <RawAnswer>Domain: &lt;a&gt; &amp; b&#13;\nline 2\n"
                                    "</RawAnswer>\n"
                                    "    <ErrorCode>0</ErrorCode>\n"
                                    "    <IpAddress/>\n"
                                    "    <ReverseName/>\n"
                                    "  </Result>\n"
                                    "  <Result>\n"
                                    "    <QueryString/>\n"
                                    "    <ServerName/>\n"
                                    "    <QueryDate/>\n"
                                    "    <QueryType>-1</QueryType>\n"
                                    "    <RawAnswer/>\n"
                                    "    <ErrorCode>-3</ErrorCode>\n"
                                    "    <IpAddress>192.0.2.1</IpAddress>\n"
                                    "    <ReverseName/>\n"
                                    "  </Result>\n"
                                    "</WhoisResult>\n");
    TWhoisResultCollection in;
    ReadResultsFile(FormatResultsFile(c), in);
    ASSERT_EQ(in.Count(), 2);
    EXPECT_EQ(in[0].RawAnswer, c[0].RawAnswer);
    EXPECT_EQ(in[1].QueryString, "");
    EXPECT_EQ(in[1].QueryType, QueryAsAddress);
    EXPECT_EQ(in[1].ErrorCode, -3);
}

TEST(ResultsFile, EveryValueRoundTripsExactly) {
    std::string allBytes;
    for (int b = 1; b < 256; ++b)
        allBytes += static_cast<char>(b);
    const struct {
        std::string value;
        bool escaped;
    } cases[] = {
        {"plain text ]]> \"quoted\" 'x' \\x41 \\\\", false},
        {"crlf\r\nlines\r\n", false},
        {"lone\rcr\r", false},
        {" ", false},
        {"\n\t\n", false},
        {"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", false},
        {allBytes, true},
        {"bell\x07 and \\x07 and \\", true},
        {std::string("nul\0byte", 8), true},
        {"latin-1 caf\xE9", true},
        {"noncharacter \xEF\xBF\xBE", true},
        {"truncated \xE2\x82", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.value));
        TWhoisResultCollection out;
        TWhoisResultItem& item = AddEntry(out, c.value, c.value, QueryAsAddress);
        item.ReverseName = c.value;
        item.ErrorCode = -2147483647 - 1;
        item.Protocol = "rdap"; // an RDAP entry also keeps the JSON as it came
        item.RdapJson = c.value;
        const std::string doc = FormatResultsFile(out);
        EXPECT_EQ(doc.find("escaped=\"true\"") != std::string::npos, c.escaped);
        TWhoisResultCollection in;
        ReadResultsFile(doc, in);
        ASSERT_EQ(in.Count(), 1);
        EXPECT_EQ(in[0].QueryString, c.value);
        EXPECT_EQ(in[0].RawAnswer, c.value);
        EXPECT_EQ(in[0].ReverseName, c.value);
        EXPECT_EQ(in[0].Protocol, "rdap");
        EXPECT_EQ(in[0].RdapJson, c.value);
        EXPECT_EQ(in[0].QueryType, QueryAsAddress);
        EXPECT_EQ(in[0].ErrorCode, item.ErrorCode);
    }
}

TEST(ResultsFile, ReadsQueryTypeAndErrorCodeLeniently) {
    const struct {
        const char* queryType;
        const char* errorCode;
        const char* error; // nullptr when the entry loads
        TQueryType type;
        int code;
    } cases[] = {
        {"0", "0", nullptr, QueryAsDomain, 0},
        {"-1", "12", nullptr, QueryAsAddress, 12},
        {"true", "-3", nullptr, QueryAsAddress, -3},
        {"TRUE", " +7 ", nullptr, QueryAsAddress, 7},
        {"False", "2147483647", nullptr, QueryAsDomain, 2147483647},
        {"1.5", "0", nullptr, QueryAsAddress, 0},
        {" 0 ", "0", nullptr, QueryAsDomain, 0},
        {"", "0", "'' is not a valid boolean value", QueryAsDomain, 0},
        {"yes", "0", "'yes' is not a valid boolean value", QueryAsDomain, 0},
        {"nan", "0", "'nan' is not a valid boolean value", QueryAsDomain, 0},
        {"0", "", "'' is not a valid integer value", QueryAsDomain, 0},
        {"0", "1.0", "'1.0' is not a valid integer value", QueryAsDomain, 0},
        {"0", "2147483648", "'2147483648' is not a valid integer value", QueryAsDomain, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.queryType) + " / " + c.errorCode);
        TWhoisResultCollection in;
        const std::string error =
            LoadError(in, Doc(std::string("<Result><QueryType>") + c.queryType +
                              "</QueryType><ErrorCode>" + c.errorCode + "</ErrorCode></Result>"));
        EXPECT_EQ(error, c.error ? c.error : "(no error)");
        ASSERT_EQ(in.Count(), 1);
        if (!c.error) {
            EXPECT_EQ(in[0].QueryType, c.type);
            EXPECT_EQ(in[0].ErrorCode, c.code);
        }
    }
}

TEST(ResultsFile, ReadsAnyShapeTheRulesAllow) {
    TWhoisResultCollection in;
    AddEntry(in, "kept", "loading appends");
    ReadResultsFile("<results>\n"
                    "  <Result><ReverseName>r</ReverseName><!-- note --><Other>x</Other>"
                    "<QueryString>q1</QueryString><QueryString>second</QueryString>"
                    "<RawAnswer><![CDATA[<raw> &]]></RawAnswer><queryString>lower</queryString>"
                    "</Result>\n"
                    "  <Anything/>\n"
                    "  <Result>\n  </Result>\n"
                    "</results>",
                    in);
    ASSERT_EQ(in.Count(), 4);
    EXPECT_EQ(in[0].QueryString, "kept");
    EXPECT_EQ(in[1].QueryString, "q1");
    EXPECT_EQ(in[1].RawAnswer, "<raw> &");
    EXPECT_EQ(in[1].ReverseName, "r");
    for (int i : {2, 3}) {
        EXPECT_EQ(in[i].QueryString, "");
        EXPECT_EQ(in[i].RawAnswer, "");
        EXPECT_EQ(in[i].QueryType, QueryAsDomain);
        EXPECT_EQ(in[i].ErrorCode, 0);
    }
}

TEST(ResultsFile, ValueErrorsKeepWhatWasReadBefore) {
    const struct {
        const char* badElement;
        const char* error;
        bool answerRead; // RawAnswer is read after QueryType, before ErrorCode
    } cases[] = {
        {"<ServerName>a<b/>c</ServerName>", "Element does not contain a single text node", false},
        {"<QueryType>maybe</QueryType>", "'maybe' is not a valid boolean value", false},
        {"<ErrorCode>x</ErrorCode>", "'x' is not a valid integer value", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.badElement);
        TWhoisResultCollection in;
        const std::string bad = std::string("<Result><QueryString>two</QueryString>") +
                                c.badElement + "<RawAnswer>answer</RawAnswer></Result>";
        EXPECT_EQ(LoadError(in, Doc("<Result><QueryString>one</QueryString></Result>" + bad +
                                    "<Result><QueryString>three</QueryString></Result>")),
                  c.error);
        ASSERT_EQ(in.Count(), 2);
        EXPECT_EQ(in[0].QueryString, "one");
        EXPECT_EQ(in[1].QueryString, "two");
        EXPECT_EQ(in[1].RawAnswer, c.answerRead ? "answer" : "");
    }
}

TEST(ResultsFile, BrokenDocumentsAppendNothing) {
    TWhoisResultCollection out;
    AddEntry(out, "example.com", "answer");
    const std::string good = FormatResultsFile(out);
    const std::string cases[] = {
        good.substr(0, good.size() / 2),
        good.substr(0, good.rfind("</WhoisResult>")),
        "not xml at all",
        "",
        Doc("<Result/>") + "<Second/>",
        std::string("<WhoisResult><Result/>\0</WhoisResult>", 37),
    };
    for (const auto& doc : cases) {
        SCOPED_TRACE(doc);
        TWhoisResultCollection in;
        const std::string error = LoadError(in, doc);
        EXPECT_NE(error.find("\nLine: "), std::string::npos) << error;
        EXPECT_EQ(in.Count(), 0);
    }
}

TEST(ResultsFile, FileLifecycleKeepsDamagedFiles) {
    TempDir dir;
    const std::string path = dir / "whois_result.xml";
    const std::string damaged = path + ".damaged";

    TWhoisResultCollection first; // first start: no file, no error
    first.LoadFromFile(path);
    EXPECT_TRUE(first.LastLoadClean());
    AddEntry(first, "example.com", "answer");
    first.SaveToFile(path);
    EXPECT_EQ(ReadFile(path), FormatResultsFile(first));
    EXPECT_FALSE(std::filesystem::exists(damaged));

    for (const std::string& broken :
         {std::string("<WhoisResult><Result>cut"),
          Doc("<Result><QueryString>kept</QueryString><ErrorCode>x</ErrorCode></Result>")}) {
        SCOPED_TRACE(broken);
        dir.Write("whois_result.xml", broken);
        TWhoisResultCollection c;
        EXPECT_THROW(c.LoadFromFile(path), ResultsFileError);
        EXPECT_FALSE(c.LastLoadClean());
        AddEntry(c, "new.example", "new");
        c.SaveToFile(path);
        EXPECT_EQ(ReadFile(damaged), broken); // replaces the copy of the round before
        EXPECT_TRUE(c.LastLoadClean());
        c.SaveToFile(path); // a second save keeps the damaged copy as it is
        EXPECT_EQ(ReadFile(damaged), broken);
        TWhoisResultCollection reread;
        reread.LoadFromFile(path);
        EXPECT_EQ(reread.Count(), c.Count());
    }
}

TEST(ResultsFile, EightyEntriesLoadWholeAndTheNextStoreTrims) {
    TempDir dir;
    const std::string path = dir / "whois_result.xml";
    TWhoisResultCollection out;
    for (int i = 0; i < 80; ++i)
        AddEntry(out, "q" + std::to_string(i) + ".example", "answer");
    out.SaveToFile(path);
    TWhoisResultCollection in;
    in.LoadFromFile(path);
    ASSERT_EQ(in.Count(), 80);
    StoreSettings settings;
    settings.MaxWhoisResults = 50;
    StoreRequest request{"new.example", "s", "a", "", "", true, std::nullopt};
    const TWhoisResultItem* stored = StoreResult(in, request, settings);
    ASSERT_EQ(in.Count(), 50);
    EXPECT_EQ(stored, &in[49]);
    EXPECT_EQ(in[0].QueryString, "q31.example");
}

TEST(ResultsFile, SaveFailureIsReported) {
    TempDir dir; // a file where the folder should be fails even for root
    dir.Write("notafolder", "x");
    TWhoisResultCollection c;
    AddEntry(c, "example.com", "answer");
    EXPECT_THROW(c.SaveToFile(dir / "notafolder" / "whois_result.xml"), ResultsFileError);
}

std::string Utf16(std::string_view ascii, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : ascii) {
        const char unit[2] = {bigEndian ? '\0' : c, bigEndian ? c : '\0'};
        out.append(unit, 2);
    }
    return out;
}

TEST(ResultsFile, HonoursTheDeclaredEncodingAndTheByteOrderMark) {
    const std::string body = "<WhoisResult><Result><QueryString>caf\xE9.example</QueryString>"
                             "<QueryType>-1</QueryType></Result></WhoisResult>";
    const std::string ascii = "<WhoisResult><Result><QueryString>plain.example</QueryString>"
                              "<QueryType>-1</QueryType></Result></WhoisResult>";
    const struct {
        const char* name;
        std::string document, query;
    } cases[] = {
        {"latin1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + body, "caf\xC3\xA9.example"},
        {"utf16le", Utf16("<?xml version=\"1.0\"?>" + ascii, false), "plain.example"},
        {"utf16be", Utf16(ascii, true), "plain.example"},
        {"utf8bom", "\xEF\xBB\xBF" + ascii, "plain.example"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TWhoisResultCollection in;
        ReadResultsFile(c.document, in);
        ASSERT_EQ(in.Count(), 1);
        EXPECT_EQ(in[0].QueryString, c.query);
        EXPECT_EQ(in[0].QueryType, QueryAsAddress);
        TWhoisResultCollection fromFile; // the file path as the window takes it
        fromFile.LoadFromFile(dir.Write("r.xml", c.document));
        EXPECT_TRUE(fromFile.LastLoadClean());
        EXPECT_EQ(fromFile.Count(), 1);
    }
    TWhoisResultCollection in;
    EXPECT_NE(LoadError(in, "<?xml version=\"1.0\" encoding=\"KOI8-R\"?><W/>").find("KOI8-R"),
              std::string::npos);
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TESSERON_SHADOW_MEMORY 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TESSERON_SHADOW_MEMORY 1
#endif

TEST(ResultsFile, AFileTooLargeForMemoryIsKeptBeforeTheSave) {
#if defined(TESSERON_SHADOW_MEMORY)
    GTEST_SKIP() << "a sanitizer's shadow memory cannot live under a memory limit";
#else
    TempDir dir;
    const std::string path = dir / "whois_result.xml";
    // A sparse file: a gigabyte on paper, nothing on disk.
    constexpr off_t kSize = off_t{1} << 30;
    ASSERT_EQ(::truncate(dir.Write("whois_result.xml", "<WhoisResult>").c_str(), kSize), 0);
    const int rc = RunInChild([&] {
        // Address space for what the process has plus a little, far below the file.
        rlimit limit{};
        long pages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
            std::fclose(statm);
        }
        limit.rlim_cur = limit.rlim_max =
            static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) +
            (rlim_t{64} << 20);
        if (pages == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0) return 10;
        TWhoisResultCollection c;
        try {
            c.LoadFromFile(path);
            return 11;
        } catch (const ResultsFileError& e) {
            if (std::string(e.what()).find("memory") == std::string::npos) return 12;
        }
        if (c.LastLoadClean()) return 13;
        AddEntry(c, "new.example", "new");
        c.SaveToFile(path);
        return 0;
    });
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(std::filesystem::file_size(path + ".damaged"), static_cast<std::uintmax_t>(kSize));
    TWhoisResultCollection reread;
    reread.LoadFromFile(path);
    EXPECT_EQ(reread.Count(), 1);
#endif
}

} // namespace
} // namespace tesseron::test
