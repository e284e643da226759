#include "desktop/StaleTemporaries.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tesseron::test {
namespace {
namespace fs = std::filesystem;

TEST(StaleTemporaries, RemovesOnlyTheWritersLeftoversOfTheNamedFiles) {
    TempDir dir;
    struct Case {
        const char* name;
        bool removed;
    };
    const Case files[] = {
        {"whois_result.xml", false},
        {"whois_result.xml.tmp-a1b2c3d4", true},
        {"whois_result.xml.tmp-zzzzzzzz", true},
        {"tesseron.ini.tmp-00000000", true},
        {"whois_result.xml.tmp-A1B2C3D4", false},  // not the writer's letters
        {"whois_result.xml.tmp-a1b2c3d", false},   // too short
        {"whois_result.xml.tmp-a1b2c3d45", false}, // too long
        {"whois_result.xml.tmp-a1b2_3d4", false},
        {"whois_result.xml.tmp", false},
        {"whois_result.xml.damaged", false},
        {"whois_result.xml.damaged.tmp-a1b2c3d4", false}, // a file not named in the call
        {"xwhois_result.xml.tmp-a1b2c3d4", false},
        {"notes.txt.tmp-a1b2c3d4", false},
    };
    for (const auto& f : files)
        dir.Write(f.name, "x");
    fs::create_directory(dir / "whois_result.xml.tmp-folder00");
    const auto precious = dir.Write("precious", "keep");
    fs::create_symlink(precious, dir / "whois_result.xml.tmp-link0000");

    const auto removed = RemoveStaleTemporaries(
        {dir / "whois_result.xml", dir / "tesseron.ini", dir / "missing/whois.xml"});

    for (const auto& f : files) {
        EXPECT_EQ(!fs::exists(dir / f.name), f.removed) << f.name;
        EXPECT_EQ(std::count(removed.begin(), removed.end(), dir / f.name), f.removed ? 1 : 0)
            << f.name;
    }
    EXPECT_TRUE(fs::is_directory(dir / "whois_result.xml.tmp-folder00"));
    EXPECT_TRUE(fs::is_symlink(dir / "whois_result.xml.tmp-link0000"));
    EXPECT_EQ(ReadFile(precious), "keep");
}

} // namespace
} // namespace tesseron::test
