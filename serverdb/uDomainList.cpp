#include "serverdb/uDomainList.h"

#include "serverdb/FileMask.h"

namespace tesseron {

// ---- collections ----

TWhoisServerCollection::TWhoisServerCollection(TDomainItem* owner) : owner_(owner) {}
TWhoisServerCollection::~TWhoisServerCollection() = default;

TWhoisServerItem& TWhoisServerCollection::Add() {
    auto& item = *items_.emplace_back(std::make_unique<TWhoisServerItem>());
    item.collection_ = this;
    item.index_ = Count() - 1;
    return item;
}

TWhoisServerItem& TWhoisServerCollection::Items(int index) const {
    if (index < 0 || index >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    return *items_[static_cast<std::size_t>(index)];
}

void TWhoisServerCollection::Clear() noexcept {
    items_.clear();
}

TDomainCollection::TDomainCollection() = default;
TDomainCollection::~TDomainCollection() = default;

TDomainItem& TDomainCollection::Add() {
    auto& item = *items_.emplace_back(std::make_unique<TDomainItem>());
    item.collection_ = this;
    item.index_ = Count() - 1;
    return item;
}

TDomainItem& TDomainCollection::Items(int index) const {
    if (index < 0 || index >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    return *items_[static_cast<std::size_t>(index)];
}

void TDomainCollection::Clear() noexcept {
    items_.clear();
}

// ---- the suffix mask cache ----

struct TDomainItem::SuffixMask {
    std::string suffix; // exactly as compiled
    FileMask mask;
};

namespace {

// A plain loop: suffixes are a few bytes long, where a call to memcmp costs more.
inline bool SameText(const std::string& a, const std::string& b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = a.size(); i-- > 0;)
        if (a[i] != b[i]) return false;
    return true;
}

} // namespace

TDomainItem::TDomainItem() = default;
TDomainItem::~TDomainItem() = default;

bool TDomainItem::Serves(const std::string& text) const {
    const SuffixMask* m = mask_.load(std::memory_order_acquire);
    if (!m || !SameText(m->suffix, Suffix)) {
        std::lock_guard lock(maskLock_);
        m = nullptr;
        // A suffix seen before is reused, so switching back and forth does not pile up masks.
        for (const auto& known : masks_)
            if (known->suffix == Suffix) m = known.get();
        if (!m) {
            // Compiling may throw InvalidMaskError; nothing is cached then.
            FileMask mask("*" + Suffix);
            m = masks_
                    .emplace_back(std::make_unique<SuffixMask>(SuffixMask{Suffix, std::move(mask)}))
                    .get();
        }
        mask_.store(m, std::memory_order_release);
    }
    return m->mask.Matches(text);
}

// ---- look-up ----

TWhoisServerCollection* TDomainCollection::FindFirst(const std::string& text,
                                                     const TDomainItem* skip) const {
    for (const auto& zone : items_) {
        if (zone->SubDomains.Count() > 0)
            if (TWhoisServerCollection* found = zone->SubDomains.FindFirst(text, skip))
                return found;
        if (zone.get() != skip && zone->Serves(text)) return &zone->WhoisServers;
    }
    return nullptr;
}

TWhoisServerCollection* TDomainCollection::FindServers(const std::string& text) const {
    static const std::string kFixed[] = {std::string(kIPAddressZoneText),
                                         std::string(kASNumberZoneText)};
    TWhoisServerCollection* found = FindFirst(text, nullptr);
    for (const std::string& fixed : kFixed) {
        if (!found || text == fixed || !found->Owner()->Serves(fixed)) continue;
        // A suffix such as "ip" also matches names that merely end in those letters
        // ("friendship"); a name never goes to the servers of IP addresses or AS numbers.
        // The look-up of the fixed text stops at the zone found, so it meets no mask the
        // first one did not.
        if (FindFirst(fixed, nullptr) != found) continue;
        return FindFirst(text, found->Owner());
    }
    return found;
}

} // namespace tesseron
