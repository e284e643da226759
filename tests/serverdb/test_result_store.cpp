#include "serverdb/uWhoisResultList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tesseron::test {
namespace {

// A fixed clock and a format that shows which parts were asked for.
StoreSettings Settings(bool updateIfExists, int max, std::tm now = {}) {
    StoreSettings s;
    s.UpdateIfExists = updateIfExists;
    s.MaxWhoisResults = max;
    s.clock = [now] { return now; };
    s.format = {[](const std::tm& t) { return "D" + std::to_string(t.tm_mday); },
                [](const std::tm& t) {
                    return "T" + std::to_string(t.tm_hour) + ":" + std::to_string(t.tm_min) + ":" +
                           std::to_string(t.tm_sec);
                }};
    return s;
}

// Entries written as "query/D" (as domain) or "query/A" (by address).
void Fill(TWhoisResultCollection& c, const std::vector<std::string>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        TWhoisResultItem& item = c.Add();
        item.QueryString = entries[i].substr(0, entries[i].size() - 2);
        item.QueryType = entries[i].back() == 'D' ? QueryAsDomain : QueryAsAddress;
        item.RawAnswer = "old" + std::to_string(i);
    }
}

std::vector<std::string> Describe(const TWhoisResultCollection& c) {
    std::vector<std::string> out;
    for (int i = 0; i < c.Count(); ++i) {
        EXPECT_EQ(c[i].Index(), i);
        out.push_back(c[i].QueryString + (c[i].QueryType == QueryAsDomain ? "/D:" : "/A:") +
                      c[i].RawAnswer);
    }
    return out;
}

struct StoreCase {
    const char* name;
    bool updateIfExists;
    int max;
    std::vector<std::string> before;
    std::string query;
    bool asDomain;
    int target; // index of the refreshed entry, -1 for a new query
    std::vector<std::string> after;
    int stored; // index of the returned entry, -1 for none
};

TEST(ResultStore, StoreStepFindsAppendsMovesAndTrims) {
    const std::vector<StoreCase> cases = {
        {"same query refreshes and moves to the end",
         true,
         50,
         {"example.com/D", "other.org/D"},
         "example.com",
         true,
         -1,
         {"other.org/D:old1", "example.com/D:new"},
         1},
        {"other query type appends",
         true,
         50,
         {"example.com/D"},
         "example.com",
         false,
         -1,
         {"example.com/D:old0", "example.com/A:new"},
         1},
        {"comparison is exact",
         true,
         50,
         {"example.com/D"},
         "EXAMPLE.COM",
         true,
         -1,
         {"example.com/D:old0", "EXAMPLE.COM/D:new"},
         1},
        {"off appends duplicates",
         false,
         50,
         {"example.com/D"},
         "example.com",
         true,
         -1,
         {"example.com/D:old0", "example.com/D:new"},
         1},
        {"same address twice",
         true,
         50,
         {"192.0.2.1/A"},
         "192.0.2.1",
         false,
         -1,
         {"192.0.2.1/A:new"},
         0},
        {"first match from the oldest",
         true,
         50,
         {"a/D", "a/D"},
         "a",
         true,
         -1,
         {"a/D:old1", "a/D:new"},
         1},
        {"refresh keeps place and type",
         true,
         50,
         {"a/D", "b/A", "b/A"},
         "b",
         false,
         1,
         {"a/D:old0", "b/A:new", "b/A:old2"},
         1},
        {"fourth query drops the oldest",
         true,
         3,
         {"a/D", "b/D", "c/D"},
         "d",
         true,
         -1,
         {"b/D:old1", "c/D:old2", "d/D:new"},
         2},
        {"repeating the oldest deletes nothing",
         true,
         3,
         {"a/D", "b/D", "c/D"},
         "a",
         true,
         -1,
         {"b/D:old1", "c/D:old2", "a/D:new"},
         2},
        {"trim deletes the refreshed entry",
         true,
         3,
         {"a/D", "b/D", "c/D", "d/D", "e/D"},
         "a",
         true,
         0,
         {"c/D:old2", "d/D:old3", "e/D:old4"},
         -1},
        {"limit zero keeps nothing", true, 0, {"a/D"}, "b", true, -1, {}, -1},
        {"negative limit keeps nothing", false, -5, {}, "b", true, -1, {}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TWhoisResultCollection results;
        Fill(results, c.before);
        StoreRequest request{c.query,        "whois.example", "new",       "192.0.2.7",
                             "host.example", c.asDomain,      std::nullopt};
        if (c.target >= 0) request.Target = results[c.target].Id();
        TWhoisResultItem* stored = StoreResult(results, request, Settings(c.updateIfExists, c.max));
        EXPECT_EQ(Describe(results), c.after);
        if (c.stored < 0) {
            EXPECT_EQ(stored, nullptr);
        } else {
            ASSERT_EQ(stored, &results[c.stored]);
            EXPECT_EQ(stored->ServerName, "whois.example");
            EXPECT_EQ(stored->IpAddress, "192.0.2.7");
            EXPECT_EQ(stored->ReverseName, "host.example");
            EXPECT_EQ(stored->ErrorCode, 0);
        }
    }
}

TEST(ResultStore, RefreshQueueSkipsEntriesTheTrimDeleted) {
    TWhoisResultCollection results;
    Fill(results, {"a/D", "b/D", "c/D", "d/D"});
    const std::vector<ResultId> queue = {results[0].Id(), results[1].Id(), results[3].Id()};
    const StoreSettings settings = Settings(true, 2);
    std::vector<bool> storedEach;
    for (ResultId id : queue) {
        TWhoisResultItem* target = results.Find(id);
        const std::string query = target ? target->QueryString : "gone";
        StoreRequest request{query, "s", "new", "", "", true, id};
        storedEach.push_back(StoreResult(results, request, settings) != nullptr);
    }
    // a's refresh trims a and b away; b is then skipped; d is refreshed in place.
    EXPECT_EQ(storedEach, (std::vector<bool>{false, false, true}));
    EXPECT_EQ(Describe(results), (std::vector<std::string>{"c/D:old2", "d/D:new"}));
}

TEST(ResultStore, CollectionKeepsIndexesAndIdsThroughChanges) {
    TWhoisResultCollection results;
    Fill(results, {"a/D", "b/D", "c/D", "d/D", "e/D"});
    const ResultId idOfB = results[1].Id();
    results[1].SetIndex(4);
    EXPECT_EQ(Describe(results), (std::vector<std::string>{"a/D:old0", "c/D:old2", "d/D:old3",
                                                           "e/D:old4", "b/D:old1"}));
    results.Move(3, 0);
    results[2].Delete();
    results.Delete(0);
    EXPECT_EQ(Describe(results), (std::vector<std::string>{"a/D:old0", "d/D:old3", "b/D:old1"}));
    EXPECT_EQ(results.Find(idOfB), &results[2]);
    EXPECT_THROW(results.Items(3), std::out_of_range);
    EXPECT_THROW(results.Move(0, 3), std::out_of_range);

    TWhoisResultCollection other;
    EXPECT_EQ(other.Find(idOfB), nullptr); // ids are never shared between collections
    EXPECT_NE(other.Add().Id(), results[0].Id());
    results.Clear();
    EXPECT_EQ(results.Count(), 0);
    EXPECT_EQ(results.Find(idOfB), nullptr);
}

TEST(ResultStore, QueryDateLeavesOutTheTimeAtMidnightOnly) {
    TWhoisResultCollection results;
    std::tm t{};
    t.tm_mday = 31;
    const struct {
        int h, m, s;
        const char* text;
    } cases[] = {{0, 0, 0, "D31"},
                 {0, 0, 1, "D31 T0:0:1"},
                 {12, 0, 0, "D31 T12:0:0"},
                 {23, 59, 59, "D31 T23:59:59"}};
    for (const auto& c : cases) {
        t.tm_hour = c.h, t.tm_min = c.m, t.tm_sec = c.s;
        StoreRequest request{"example.com", "s", "answer", "", "", true, std::nullopt};
        EXPECT_EQ(StoreResult(results, request, Settings(true, 50, t))->QueryDate, c.text);
    }
}

TEST(ResultStore, UserFormatUsesTheRegionalDateAndTime) {
    std::tm t{};
    t.tm_year = 124, t.tm_mon = 0, t.tm_mday = 31, t.tm_hour = 13, t.tm_min = 47, t.tm_sec = 0;
    const DateTimeFormat format = UserDateTimeFormat();
    const std::string date = format.shortDate(t), time = format.longTime(t);
    // Every regional format shows the day and the minutes.
    EXPECT_NE(date.find("31"), std::string::npos) << date;
    EXPECT_NE(time.find("47"), std::string::npos) << time;
    EXPECT_EQ(QueryDateText(t, format), date + " " + time);
}

} // namespace
} // namespace tesseron::test
