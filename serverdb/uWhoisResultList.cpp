#include "serverdb/uWhoisResultList.h"

#include "desktop/TextUtil.h"

#include <algorithm>
#include <atomic>
#include <locale.h>
#include <stdexcept>
#include <time.h>

namespace tesseron {

// ---- entries and the collection ----

namespace {
std::atomic<ResultId> nextId{1};
}

bool TWhoisResultItem::IsRdap() const {
    return EqualsIgnoringCase(TrimBlanks(Protocol), "rdap");
}

void TWhoisResultItem::SetIndex(int index) {
    if (collection_) collection_->Move(index_, index);
}

void TWhoisResultItem::Delete() {
    if (collection_) collection_->Delete(index_);
}

TWhoisResultCollection::TWhoisResultCollection() = default;
TWhoisResultCollection::~TWhoisResultCollection() = default;

TWhoisResultItem& TWhoisResultCollection::Add() {
    auto& item = *items_.emplace_back(std::make_unique<TWhoisResultItem>(TWhoisResultItem::Key{}));
    item.collection_ = this;
    item.index_ = Count() - 1;
    item.id_ = nextId.fetch_add(1, std::memory_order_relaxed);
    return item;
}

TWhoisResultItem& TWhoisResultCollection::Items(int index) const {
    if (index < 0 || index >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    return *items_[static_cast<std::size_t>(index)];
}

void TWhoisResultCollection::Delete(int index) {
    Items(index); // range check
    items_.erase(items_.begin() + index);
    Renumber(static_cast<std::size_t>(index));
}

void TWhoisResultCollection::DeleteFront(int count) {
    count = std::clamp(count, 0, Count());
    items_.erase(items_.begin(), items_.begin() + count);
    Renumber(0);
}

void TWhoisResultCollection::Clear() noexcept {
    items_.clear();
}

void TWhoisResultCollection::Move(int from, int to) {
    Items(from);
    Items(to);
    const auto f = items_.begin() + from, t = items_.begin() + to;
    if (from < to)
        std::rotate(f, f + 1, t + 1);
    else
        std::rotate(t, f, f + 1);
    Renumber(static_cast<std::size_t>(std::min(from, to)));
}

TWhoisResultItem* TWhoisResultCollection::Find(ResultId id) const noexcept {
    for (const auto& item : items_)
        if (item->id_ == id) return item.get();
    return nullptr;
}

void TWhoisResultCollection::Renumber(std::size_t from) noexcept {
    for (std::size_t i = from; i < items_.size(); ++i)
        items_[i]->index_ = static_cast<int>(i);
}

// ---- the date text ----

namespace {

// The user's LC_TIME as a locale object, made once; never freed, like the C library's own.
locale_t UserTimeLocale() {
    static const locale_t loc = [] {
        locale_t l = ::newlocale(LC_TIME_MASK, "", locale_t(0));
        return l ? l : ::newlocale(LC_TIME_MASK, "C", locale_t(0));
    }();
    return loc;
}

std::string Strftime(const char* pattern, const std::tm& t) {
    std::string out(64, '\0');
    for (;;) {
        const std::size_t n = ::strftime_l(out.data(), out.size(), pattern, &t, UserTimeLocale());
        // 0 is also the length of an empty result; a generous buffer tells the two apart.
        if (n > 0 || out.size() >= 1024) {
            out.resize(n);
            return out;
        }
        out.resize(out.size() * 4);
    }
}

} // namespace

DateTimeFormat UserDateTimeFormat() {
    return {[](const std::tm& t) { return Strftime("%x", t); },
            [](const std::tm& t) { return Strftime("%X", t); }};
}

std::tm LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return local;
}

std::string QueryDateText(const std::tm& local, const DateTimeFormat& format) {
    std::string text = format.shortDate(local);
    if (local.tm_hour != 0 || local.tm_min != 0 || local.tm_sec != 0)
        text += " " + format.longTime(local);
    return text;
}

// ---- the store step ----

TWhoisResultItem* StoreResult(TWhoisResultCollection& results, const StoreRequest& request,
                              const StoreSettings& settings) {
    TWhoisResultItem* target = nullptr;
    if (request.Target) {
        target = results.Find(*request.Target);
        if (!target) return nullptr; // deleted while queued: nothing to refresh
    } else if (settings.UpdateIfExists) {
        const TQueryType wanted = request.AsDomain ? QueryAsDomain : QueryAsAddress;
        for (int i = 0; i < results.Count() && !target; ++i) {
            TWhoisResultItem& item = results[i];
            if (item.QueryString == request.QueryString && item.QueryType == wanted) {
                target = &item;
                target->SetIndex(results.Count() - 1);
            }
        }
    }
    if (!target) target = &results.Add();

    target->RawAnswer = request.RawAnswer;
    target->QueryString = request.QueryString;
    target->ServerName = request.ServerName;
    target->QueryDate = QueryDateText(settings.clock(), settings.format);
    target->IpAddress = request.IpAddress;
    target->ReverseName = request.ReverseName;
    target->Protocol = request.Protocol;
    target->RdapJson = request.RdapJson;
    target->QueryType = request.AsDomain ? QueryAsDomain : QueryAsAddress;

    // Trim the oldest. The target may be among them; then it must not be used again.
    const ResultId id = target->Id();
    const int excess = results.Count() - std::max<std::int32_t>(settings.MaxWhoisResults, 0);
    if (excess > 0) results.DeleteFront(excess);
    return results.Find(id);
}

} // namespace tesseron
