// Both XML readers on files of nested elements: refused with their usual error before a
// tree is built, within a few times the file's size.

#include "serverdb/ResultsFile.h"
#include "serverdb/XmlSource.h"
#include "serverdb/uDomainList.h"
#include "serverdb/uWhoisResultList.h"
#include "support/PeakMemory.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace tesseron;
using tesseron::test::TempDir;

namespace {

std::string Nested(std::string_view head, std::string_view open, std::size_t bytes) {
    std::string doc(head);
    doc.reserve(bytes + 64);
    while (doc.size() < bytes)
        doc += open;
    return doc;
}

std::string LoadError(const std::function<void()>& load) {
    try {
        load();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

TEST(DeepFiles, NestedElementsAreRefusedEarlyAndCheaply) {
    constexpr std::size_t kSize = 20'000'000;
    TempDir dir;
    const struct {
        const char* name;
        std::string head;
        std::function<void(const std::string& path)> load;
        const char* error;
    } cases[] = {
        {"server list", "<whois><domains>",
         [](const std::string& path) {
             TDomainCollection zones;
             zones.LoadFromFile(path);
         },
         "Zones are nested more than 100 levels deep"},
        {"results file", "<WhoisResult>",
         [](const std::string& path) {
             TWhoisResultCollection entries;
             entries.LoadFromFile(path);
         },
         "Elements are nested more than 100 levels deep"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Closed, so that only the depth is wrong with it.
        std::string small = Nested(c.head, "<a>", 5000);
        const std::size_t opened = (small.size() - c.head.size()) / 3;
        for (std::size_t i = 0; i < opened; ++i)
            small += "</a>";
        small += "</" + c.head.substr(1);
        const auto smallPath = dir.Write("small.xml", small).string();
        EXPECT_NE(LoadError([&] { c.load(smallPath); }).find(c.error), std::string::npos);

        if (!tesseron::test::kResidentSizeMeaningful) continue;
        const auto path = dir.Write("deep.xml", Nested(c.head, "<a>", kSize)).string();
        const auto growth = tesseron::test::PeakMemoryGrowth([&] {
            try {
                c.load(path);
            } catch (const std::exception&) {
            }
        });
        EXPECT_GE(growth, 0);
        EXPECT_LT(growth, 4 * static_cast<std::int64_t>(kSize)) << growth / 1'000'000 << " MB";
    }
}

TEST(DeepFiles, TheScanCountsOnlyOpenElements) {
    const struct {
        std::string_view text;
        int maxDepth;
        std::optional<std::size_t> at;
    } cases[] = {
        {"<a><b><c/></b></a>", 2, std::nullopt},
        {"<a><b><c></c></b></a>", 2, 6},
        {"<a><b x='>' y=\"/>\"><c/></b></a>", 2, std::nullopt},
        {"<a><b/><b/><b/></a>", 2, std::nullopt},
        {"<a><!-- <b><c> --><![CDATA[<b><c>]]><?p <b><c>?><b></b></a>", 2, std::nullopt},
        {"<!DOCTYPE a [<!ELEMENT a ANY>]><a><b><c>", 2, 37},
        {"<a></a><a></a><a></a>", 1, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindTooDeepElement(c.text, c.maxDepth), c.at) << c.text;
}

} // namespace
