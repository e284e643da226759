#pragma once

#include "desktop/NonCopyable.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tesseron {

class TDomainItem;
class TWhoisServerItem;

// A failed load of a server list: the parser's reason, line and the start of the
// offending text, or "Element does not contain a single text node".
class ServerListError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Raised by FindServers for a suffix that is not a valid mask.
class InvalidMaskError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The text the query engine looks up for an IP address.
inline constexpr std::string_view kIPAddressZoneText = "ip";
// The text it looks up for an AS number ("AS15169"): the zone of the number registries.
inline constexpr std::string_view kASNumberZoneText = "asn";

class TWhoisServerCollection : NonCopyable {
public:
    explicit TWhoisServerCollection(TDomainItem* owner = nullptr);
    ~TWhoisServerCollection();

    TWhoisServerItem& Add();
    int Count() const noexcept { return static_cast<int>(items_.size()); }
    TWhoisServerItem& Items(int index) const;
    TWhoisServerItem& operator[](int index) const { return Items(index); }
    void Clear() noexcept;
    TDomainItem* Owner() const noexcept { return owner_; }

private:
    TDomainItem* owner_;
    std::vector<std::unique_ptr<TWhoisServerItem>> items_;
};

class TWhoisServerItem {
public:
    std::string Name;
    std::string Address;
    std::string WebInterface;
    std::string Online;
    std::string Description;
    int32_t Rating = 0;
    std::string WhoisPrefix;
    // The character set the server answers in ("windows-1251"); empty: UTF-8, or unknown.
    std::string Charset;

    TWhoisServerCollection* Collection() const noexcept { return collection_; }
    int Index() const noexcept { return index_; }
    // The zone this server belongs to.
    TDomainItem* Zone() const noexcept { return collection_ ? collection_->Owner() : nullptr; }

private:
    friend class TWhoisServerCollection;
    TWhoisServerCollection* collection_ = nullptr;
    int index_ = -1;
};

class TDomainCollection : NonCopyable {
public:
    TDomainCollection();
    ~TDomainCollection();

    TDomainItem& Add();
    int Count() const noexcept { return static_cast<int>(items_.size()); }
    TDomainItem& Items(int index) const;
    TDomainItem& operator[](int index) const { return Items(index); }
    void Clear() noexcept;

    // Appends the zones of a server list file. Throws ServerListError.
    void LoadFromFile(const std::string& path);
    // The same rules for a document already in memory (the update's check, tests).
    void LoadFromBuffer(const void* data, std::size_t size);

    // The servers of the zone that serves `text` (sub-zones before their parent, first
    // match wins), or nullptr. The zones found for kIPAddressZoneText and kASNumberZoneText
    // serve those texts only: any other text skips them. Throws InvalidMaskError.
    TWhoisServerCollection* FindServers(const std::string& text) const;

private:
    TWhoisServerCollection* FindFirst(const std::string& text, const TDomainItem* skip) const;

    std::vector<std::unique_ptr<TDomainItem>> items_;
};

class TDomainItem : NonCopyable {
public:
    TDomainItem();
    ~TDomainItem();

    std::string Suffix;
    std::string Description;
    TWhoisServerCollection WhoisServers{this};
    TDomainCollection SubDomains;

    TDomainCollection* Collection() const noexcept { return collection_; }
    int Index() const noexcept { return index_; }

    // Whether `text` matches the mask "*" + Suffix. Throws InvalidMaskError.
    bool Serves(const std::string& text) const;

private:
    // The compiled mask of Suffix, rebuilt when Suffix changes. Concurrent look-ups read
    // the current entry without a lock; entries live as long as the zone, so a reader
    // never sees one freed. Declared next to SubDomains, which a look-up also reads.
    struct SuffixMask;
    mutable std::atomic<const SuffixMask*> mask_{nullptr};

    friend class TDomainCollection;
    TDomainCollection* collection_ = nullptr;
    int index_ = -1;
    mutable std::mutex maskLock_;
    mutable std::vector<std::unique_ptr<SuffixMask>> masks_;
};

} // namespace tesseron
