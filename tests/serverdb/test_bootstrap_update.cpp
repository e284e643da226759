#include "query/AbortHandle.h"
#include "serverdb/BootstrapFixtures.h"
#include "serverdb/BootstrapUpdate.h"
#include "serverdb/HttpTestServer.h"
#include "serverdb/RegistryBlocks.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace tesseron::test {
namespace {

// The refusals of a download are below; these are faults of the file itself.
TEST(BootstrapUpdate, FaultCheckRefusesWhatTheRegistriesCannotUse) {
    TempDir dir;
    struct Case {
        const char* name;
        std::string content;
        bool usable;
    } cases[] = {
        {"dns.json", kNewFiles.at("dns.json"), true},
        {"ipv6.json", kNewFiles.at("ipv6.json"), true},
        {"asn.json", kNewFiles.at("asn.json"), true},
        {"ipv4.json", kNewFiles.at("ipv6.json"), false}, // networks of the other family
        {"ipv4.json", kNewFiles.at("ipv4.json").substr(0, 40), false},
        {"whois.json", kNewFiles.at("dns.json"), false},
    };
    for (const auto& c : cases) {
        const auto fault = BootstrapFileFault(c.name, dir.Write("f.json", c.content));
        EXPECT_EQ(fault.empty(), c.usable) << c.name << ": " << c.content << " -> " << fault;
    }
    EXPECT_FALSE(BootstrapFileFault("dns.json", dir / "absent.json").empty());
}

TEST(BootstrapUpdate, FourGoodFilesReplaceTheShippedOnesWhichBecomeTheBackups) {
    HttpServer server(BootstrapRoutes(kNewFiles));
    TempDir shipped, writable;
    for (const auto& [name, text] : kOldFiles)
        shipped.Write(name, text);
    RegistryBlocks blocks;
    ASSERT_EQ(blocks.LoadFolder(shipped.path()), "");
    ASSERT_EQ(blocks.FindAsNumber(64500)->rir, Rir::Arin);

    BootstrapRefresh refresh;
    refresh.baseUrl = server.Url("/rdap");
    refresh.folder = writable / "rdap";
    refresh.inUse = [&](std::string_view name) { return shipped / name; };
    std::vector<std::string> asked;
    int progressCalls = 0;
    BootstrapProgress report{
        [&](std::string_view, const std::string& url) { asked.push_back(url); },
        [&](int) { ++progressCalls; }};
    const auto outcomes = RefreshBootstrapFiles(refresh, report);
    ASSERT_EQ(outcomes.size(), 4u);
    for (const auto& o : outcomes)
        EXPECT_EQ(o.result, BootstrapOutcome::Result::Installed) << o.name << " " << o.detail;
    EXPECT_EQ(asked.front(), server.Url("/rdap/dns.json"));
    EXPECT_EQ(asked.size(), 4u);
    EXPECT_GE(progressCalls, 4);
    for (const auto& [name, text] : kNewFiles) {
        EXPECT_EQ(ReadFile(writable / "rdap" / name), text);
        EXPECT_EQ(ReadFile(writable / "rdap" / (name + ".backup")), kOldFiles.at(name));
        EXPECT_EQ(ReadFile(shipped / name), kOldFiles.at(name));
        EXPECT_FALSE(std::filesystem::exists(writable / "rdap" / (name + ".tmp")));
    }
    ASSERT_EQ(blocks.LoadFolder(writable / "rdap"), "");
    EXPECT_EQ(blocks.FindAsNumber(64500)->rir, Rir::Ripe);
    EXPECT_EQ(blocks.FindIPv6({0x20, 0x01, 0x0d, 0xb8}, 48)->rir, Rir::Ripe);
    EXPECT_EQ(blocks.FindDomain("a.co.zz")->zone, "co.zz");
    EXPECT_FALSE(blocks.FindDomain("a.yy"));

    // A raised abort ends the run at the file it was on.
    AbortHandle abort;
    abort.Abort();
    const auto aborted = RefreshBootstrapFiles(refresh, {}, &abort);
    ASSERT_EQ(aborted.size(), 1u);
    EXPECT_EQ(aborted[0].result, BootstrapOutcome::Result::Aborted);
}

// Whatever goes wrong, the file in use and its backup stay as they were.
TEST(BootstrapUpdate, RefusedDownloadsLeaveTheFileAndItsBackup) {
    using R = BootstrapOutcome::Result;
    struct Case {
        const char* what;
        Route route;
        R result;
        const char* detail; // part of the detail or the failure's detail
        bool tempLeft;
    } cases[] = {
        {"html page", {200, {"<html>not json</html>"}}, R::NotBootstrap, "JSON", true},
        {"other kind", {200, {kNewFiles.at("dns.json")}}, R::NotBootstrap, "AS-number", true},
        {"no service", {200, {R"({"services":[]})"}}, R::NotBootstrap, "no service", true},
        {"empty body", {200, {}}, R::NotFetched, "HTTP 200", false},
        {"not found", {404, {"<html>missing</html>"}}, R::NotFetched, "HTTP 404", false},
        {"over the bound",
         {200, {kNewFiles.at("asn.json") + std::string(200, ' ')}},
         R::TooLarge,
         "larger",
         false},
    };
    for (const auto& c : cases) {
        HttpServer server({{"/rdap/asn.json", c.route}});
        TempDir dir;
        dir.Write("asn.json", kOldFiles.at("asn.json"));
        dir.Write("asn.json.backup", "older");
        BootstrapRefresh refresh;
        refresh.baseUrl = server.Url("/rdap/");
        refresh.folder = dir.path();
        refresh.maxBytes = 200;
        const auto o = RefreshBootstrapFile(refresh, "asn.json");
        EXPECT_EQ(o.result, c.result) << c.what;
        EXPECT_NE((o.detail + o.failure.detail).find(c.detail), std::string::npos)
            << c.what << ": " << o.detail << o.failure.detail;
        EXPECT_EQ(ReadFile(dir / "asn.json"), kOldFiles.at("asn.json")) << c.what;
        EXPECT_EQ(ReadFile(dir / "asn.json.backup"), "older") << c.what;
        EXPECT_EQ(std::filesystem::exists(dir / "asn.json.tmp"), c.tempLeft) << c.what;
    }
    // A folder that cannot be made is said, and nothing is fetched.
    TempDir dir;
    dir.Write("file", "");
    BootstrapRefresh refresh;
    refresh.baseUrl = "http://127.0.0.1:1/";
    refresh.folder = dir / "file" / "rdap";
    const auto o = RefreshBootstrapFile(refresh, "dns.json");
    EXPECT_EQ(o.result, R::WriteFailed);
    EXPECT_FALSE(o.detail.empty());
}

} // namespace
} // namespace tesseron::test
