#include "query/AbortHandle.h"
#include "serverdb/HttpTestServer.h"
#include "serverdb/ServerListUpdate.h"
#include "serverdb/uDomainList.h"
#include "support/Daemons.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace tesseron::test {
namespace {

std::string ListXml(const std::string& zones) {
    return "<?xml version=\"1.0\"?><whois><domains>" + zones + "</domains></whois>";
}
std::string Zone(const std::string& suffix, const std::string& inner = "") {
    return "<zone><suffix>" + suffix + "</suffix>" + inner + "</zone>";
}

const std::string kGoodList =
    ListXml(Zone(".com", "<servers><server><address>whois.one</address></server></servers>"));
const std::string kSecondList = ListXml(Zone(".net") + Zone(".org"));
const std::string kErrorPage = "<html><body><h1>404 Not Found</h1></body></html>";
const std::string kSuffixless = ListXml(Zone(""));
const std::string kSubZonesOnly = ListXml(Zone("", "<domains>" + Zone(".co.uk") + "</domains>"));

HttpServer MakeServer() {
    return HttpServer({
        {"/good.xml", {200, {kGoodList}}},
        {"/second.xml", {200, {kSecondList}}},
        {"/error.xml", {404, {kErrorPage}}},
        {"/suffixless.xml", {200, {kSuffixless}}},
        {"/subzones.xml", {200, {kSubZonesOnly}}},
        {"/empty.xml", {200, {}}},
        {"http://update.invalid/good.xml", {200, {kGoodList}}},
        {"/slow.xml", {200, {std::string(400, 'a'), std::string(600, 'b')}, 300}},
    });
}

TEST(ServerListUpdate, ProgressIsRoundedAndBoundedToTheBar) {
    struct Case {
        std::uintmax_t total, first;
        int expected;
    } cases[] = {
        {0, 0, 0},       {1, 3, 33},       {1, 200, 1},        {1, 201, 0},
        {400, 400, 100}, {1000, 400, 100}, {70000000, 1, 100},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DownloadProgress(c.total, c.first), c.expected) << c.total << "/" << c.first;
}

TEST(ServerListUpdate, DownloadWritesTheBodyWhateverTheStatus) {
    auto server = MakeServer();
    TempDir dir;
    struct Case {
        const char* path;
        const std::string& body;
    } cases[] = {{"/good.xml", kGoodList}, {"/error.xml", kErrorPage}};
    for (const auto& c : cases) {
        const auto target = dir / "whois.xml.tmp";
        ASSERT_TRUE(GetInetFile(server.Url(c.path), target)) << c.path;
        EXPECT_EQ(ReadFile(target), c.body) << c.path;
    }
}

TEST(ServerListUpdate, GoesThroughTheProxyOfTheEnvironmentAsTesseron) {
    auto server = MakeServer();
    TempDir dir;
    const auto target = dir / "whois.xml.tmp";
    // The proxy is the loopback server, so the name below is never looked up.
    ::setenv("http_proxy", server.Url("").c_str(), 1);
    const bool ok = GetInetFile("http://update.invalid/good.xml", target);
    ::unsetenv("http_proxy");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ReadFile(target), kGoodList);
    EXPECT_NE(server.LastRequest().find("GET http://update.invalid/good.xml "), std::string::npos);
    EXPECT_NE(server.LastRequest().find("User-Agent: Tesseron\r\n"), std::string::npos);
}

TEST(ServerListUpdate, HttpsTrustsTheSystemStoreOrTheNamedCertificate) {
    TlsFileServer server;
    TempDir dir;
    const auto target = dir / "whois.xml.tmp";
    std::ofstream(server.root() / "whois.xml", std::ios::binary) << kGoodList;
    // A certificate nobody vouches for is refused before anything is written, and said so.
    DownloadFailure failure;
    EXPECT_FALSE(GetInetFile(server.Url("whois.xml"), target, {}, nullptr, {}, &failure));
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_EQ(failure.reason, DownloadFailure::Reason::Insecure);
    EXPECT_FALSE(failure.detail.empty());
    ASSERT_TRUE(GetInetFile(server.Url("whois.xml"), target, {}, nullptr, server.caFile()));
    EXPECT_EQ(ReadFile(target), kGoodList);
}

// Nothing is written when nothing arrives, and the caller learns the host and the reason.
TEST(ServerListUpdate, NothingToReadWritesNothingAndSaysWhy) {
    auto server = MakeServer();
    TempDir dir;
    const auto target = dir / "whois.xml.tmp";
    using R = DownloadFailure::Reason;
    struct Case {
        std::string url;
        R reason;
        const char* detail; // part of the detail text
    } cases[] = {
        {server.Url("/empty.xml"), R::Empty, "HTTP 200"},
        // A closed port on loopback: the address cannot be opened.
        {"http://127.0.0.1:1/whois.xml", R::Refused, "127.0.0.1"},
    };
    for (const auto& c : cases) {
        DownloadFailure failure;
        EXPECT_FALSE(GetInetFile(c.url, target, {}, nullptr, {}, &failure)) << c.url;
        EXPECT_EQ(failure.host, "127.0.0.1") << c.url;
        EXPECT_EQ(failure.reason, c.reason) << c.url;
        EXPECT_NE(failure.detail.find(c.detail), std::string::npos) << failure.detail;
    }
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST(ServerListUpdate, UnwritableTargetRaises) {
    auto server = MakeServer();
    TempDir dir;
    EXPECT_THROW(GetInetFile(server.Url("/good.xml"), dir / "missing" / "whois.xml.tmp"),
                 DownloadError);
}

TEST(ServerListUpdate, SlowBodyFillsTheBarAtTheFirstCountAndGoesOn) {
    auto server = MakeServer();
    TempDir dir;
    std::vector<int> steps;
    const auto target = dir / "whois.xml.tmp";
    ASSERT_TRUE(GetInetFile(server.Url("/slow.xml"), target, [&](int p) { steps.push_back(p); }));
    EXPECT_EQ(ReadFile(target).size(), 1000u);
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.front(), 100); // the first 400 bytes are the whole first count
    for (int p : steps)
        EXPECT_EQ(p, 100);
}

TEST(ServerListUpdate, CancelledDownloadWritesNothing) {
    auto server = MakeServer();
    TempDir dir;
    AbortHandle abort;
    const auto target = dir / "whois.xml.tmp";
    EXPECT_FALSE(GetInetFile(
        server.Url("/slow.xml"), target, [&](int) { abort.Abort(); }, &abort));
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST(ServerListUpdate, CorruptionCheck) {
    TempDir dir;
    struct Case {
        const char* name;
        std::string content;
        bool corrupted;
    } cases[] = {
        {"good", kGoodList, false},
        {"html error page", kErrorPage, true},
        {"zones without suffix", kSuffixless, true},
        {"sub-zones inside a suffix-less zone", kSubZonesOnly, true},
        {"truncated", kGoodList.substr(0, kGoodList.size() / 2), true},
        {"empty", "", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CorruptedWhoisFile(dir.Write("list.xml", c.content)), c.corrupted) << c.name;
    EXPECT_TRUE(CorruptedWhoisFile(dir / "absent.xml"));
}

TEST(ServerListUpdate, InstallKeepsABackupAndASecondUpdateReplacesIt) {
    auto server = MakeServer();
    TempDir dir;
    const auto list = dir.Write("whois.xml", ListXml(Zone(".old")));
    const auto temp = UpdateTempPath(list), backup = UpdateBackupPath(list);
    EXPECT_EQ(temp, dir / "whois.xml.tmp");
    EXPECT_EQ(backup, dir / "whois.xml.backup");

    ASSERT_TRUE(GetInetFile(server.Url("/good.xml"), temp));
    ASSERT_TRUE(InstallServerList(list));
    EXPECT_EQ(ReadFile(list), kGoodList);
    EXPECT_EQ(ReadFile(backup), ListXml(Zone(".old")));
    EXPECT_FALSE(std::filesystem::exists(temp));

    ASSERT_TRUE(GetInetFile(server.Url("/second.xml"), temp));
    ASSERT_TRUE(InstallServerList(list));
    EXPECT_EQ(ReadFile(list), kSecondList);
    EXPECT_EQ(ReadFile(backup), kGoodList);
    TDomainCollection loaded;
    loaded.LoadFromFile(list.string());
    EXPECT_EQ(loaded.Count(), 2);
}

TEST(ServerListUpdate, FailedInstallLeavesTheListInPlace) {
    TempDir dir;
    const auto list = dir.Write("whois.xml", kGoodList);
    // Nothing downloaded: nothing to install.
    EXPECT_FALSE(InstallServerList(list));
    EXPECT_EQ(ReadFile(list), kGoodList);
    // The backup cannot be written (a folder holds its name): the list stays as it was.
    std::filesystem::create_directory(UpdateBackupPath(list));
    dir.Write("whois.xml.tmp", kSecondList);
    EXPECT_FALSE(InstallServerList(list));
    EXPECT_EQ(ReadFile(list), kGoodList);
    EXPECT_EQ(ReadFile(UpdateTempPath(list)), kSecondList);
}

TEST(ServerListUpdate, FirstInstallWithoutAListNeedsNoBackup) {
    TempDir dir;
    dir.Write("whois.xml.tmp", kGoodList);
    ASSERT_TRUE(InstallServerList(dir / "whois.xml"));
    EXPECT_EQ(ReadFile(dir / "whois.xml"), kGoodList);
    EXPECT_FALSE(std::filesystem::exists(dir / "whois.xml.backup"));
}

TEST(ServerListUpdate, AnInstalledCopyInstallsBesideItsSettings) {
    TempDir dir;
    const auto shipped = dir.Write("shipped.xml", kGoodList);
    const auto updated = dir / "whois.xml";
    dir.Write("whois.xml.tmp", kSecondList);
    ASSERT_TRUE(InstallServerList(updated, shipped));
    EXPECT_EQ(ReadFile(updated), kSecondList);
    EXPECT_EQ(ReadFile(UpdateBackupPath(updated)), kGoodList); // the list that was in use
    EXPECT_EQ(ReadFile(shipped), kGoodList);

    // A read-only list is not replaced, as no other file of ours is.
    dir.Write("whois.xml.tmp", kGoodList);
    std::filesystem::permissions(updated, std::filesystem::perms::owner_read);
    EXPECT_FALSE(InstallServerList(updated));
    EXPECT_EQ(ReadFile(updated), kSecondList);
}

} // namespace
} // namespace tesseron::test
