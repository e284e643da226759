#pragma once

#include "desktop/NonCopyable.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tesseron {

// How a stored answer was asked for: the name itself, or by its address.
enum TQueryType : std::int32_t { QueryAsDomain = 0, QueryAsAddress = 1 };

// A number that names one entry for as long as the process runs; never reused, not even
// by another collection. Holders that must outlive a possible deletion (the refresh
// queue) keep ids and look them up with TWhoisResultCollection::Find, which returns
// nullptr once the entry is gone. A pointer alone cannot tell that.
using ResultId = std::uint64_t;

class TWhoisResultCollection;

class TWhoisResultItem : NonCopyable {
    struct Key {};

public:
    explicit TWhoisResultItem(Key) {}

    std::string QueryString;
    std::string ServerName;
    std::int32_t ErrorCode = 0;
    std::string QueryDate;
    std::string RawAnswer; // bytes as received; not necessarily UTF-8
    TQueryType QueryType = QueryAsDomain;
    std::string IpAddress;
    std::string ReverseName;
    // "rdap" for an answer of an RDAP service, empty for port 43. RawAnswer then holds the
    // answer rendered as text, and RdapJson the JSON as it came: one object, or an array of
    // the registry's and the registrar's when the registrar's record was followed.
    std::string Protocol;
    std::string RdapJson;
    // Whether Protocol names RDAP (letter case and blanks aside, as a hand-edited file has it).
    bool IsRdap() const;

    TWhoisResultCollection* Collection() const noexcept { return collection_; }
    int Index() const noexcept { return index_; }
    ResultId Id() const noexcept { return id_; }
    // Moves the entry to `index`; the entries in between shift by one.
    void SetIndex(int index);
    // Removes the entry from its collection and destroys it: `*this` is gone afterwards.
    void Delete();

private:
    friend class TWhoisResultCollection;
    TWhoisResultCollection* collection_ = nullptr;
    int index_ = -1;
    ResultId id_ = 0;
};

// The ordered store of answers, oldest first. Only the user interface thread touches it.
class TWhoisResultCollection : NonCopyable {
public:
    TWhoisResultCollection();
    ~TWhoisResultCollection();

    TWhoisResultItem& Add();
    int Count() const noexcept { return static_cast<int>(items_.size()); }
    TWhoisResultItem& Items(int index) const;
    TWhoisResultItem& operator[](int index) const { return Items(index); }
    void Delete(int index);
    // Deletes the entries [0, count), in one step.
    void DeleteFront(int count);
    void Clear() noexcept;
    void Move(int from, int to);
    // The entry with this id, or nullptr when it has been deleted.
    TWhoisResultItem* Find(ResultId id) const noexcept;

    // Appends the entries of a results file. A missing file is an empty store. Throws
    // ResultsFileError (serverdb/ResultsFile.h); entries read before a value error stay.
    void LoadFromFile(const std::string& path);
    // Writes all entries, replacing the file atomically. When the last load of that same
    // file was not clean, the file is first kept as "<path>.damaged" (replacing an older
    // copy) and the save fails rather than lose it. Throws ResultsFileError.
    void SaveToFile(const std::string& path);
    // False after a load that failed (parse or value error) until the store has been
    // saved over that file with the damaged copy kept, or the file loaded cleanly.
    bool LastLoadClean() const noexcept { return damagedPath_.empty(); }

private:
    void Renumber(std::size_t from) noexcept;

    std::vector<std::unique_ptr<TWhoisResultItem>> items_;
    std::string damagedPath_; // the file whose last load failed
};

// ---- the store step ----

// The user's regional formats: short date and long time of a local broken-down time.
struct DateTimeFormat {
    std::function<std::string(const std::tm&)> shortDate;
    std::function<std::string(const std::tm&)> longTime;
};

// strftime "%x" and "%X" under the user's LC_TIME (LC_ALL, LC_TIME, LANG), through a
// locale object of its own so nothing process-wide changes. Falls back to the C locale.
DateTimeFormat UserDateTimeFormat();

// The local time now.
std::tm LocalTimeNow();

// "<short date> <long time>", or the date alone at exactly midnight.
std::string QueryDateText(const std::tm& local, const DateTimeFormat& format);

struct StoreSettings {
    bool UpdateIfExists = true;
    std::int32_t MaxWhoisResults = 50;
    std::function<std::tm()> clock = LocalTimeNow;
    DateTimeFormat format = UserDateTimeFormat();
};

// One successful answer to store.
struct StoreRequest {
    std::string QueryString;
    std::string ServerName;
    std::string RawAnswer;
    std::string IpAddress;
    std::string ReverseName;
    bool AsDomain = true;
    std::optional<ResultId> Target; // the entry being refreshed; none for a new query
    std::string Protocol = {};      // as TWhoisResultItem's
    std::string RdapJson = {};
};

// Finds or appends the entry, fills it, moves a same-query entry to the end and trims
// the oldest entries down to MaxWhoisResults. Returns the entry that holds the answer,
// or nullptr when there is none: the trim deleted it, or the refresh target had already
// been deleted (then nothing is stored).
TWhoisResultItem* StoreResult(TWhoisResultCollection& results, const StoreRequest& request,
                              const StoreSettings& settings);

} // namespace tesseron
