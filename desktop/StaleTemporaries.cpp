#include "desktop/StaleTemporaries.h"

#include <algorithm>

namespace tesseron {

bool IsTemporaryOf(std::string_view name, std::string_view fileName) {
    constexpr std::string_view kMark = ".tmp-";
    constexpr std::size_t kSuffixLength = 8;
    if (fileName.empty() || name.size() != fileName.size() + kMark.size() + kSuffixLength ||
        !name.starts_with(fileName) || name.substr(fileName.size(), kMark.size()) != kMark)
        return false;
    const auto suffix = name.substr(fileName.size() + kMark.size());
    return std::all_of(suffix.begin(), suffix.end(),
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); });
}

std::vector<std::filesystem::path>
RemoveStaleTemporaries(const std::vector<std::filesystem::path>& files) {
    std::vector<std::filesystem::path> removed;
    for (const auto& file : files) {
        const std::string fileName = file.filename().string();
        if (fileName.empty()) continue;
        const auto dir = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
        std::error_code ec;
        for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end;
             it.increment(ec)) {
            const auto& candidate = it->path();
            if (!IsTemporaryOf(candidate.filename().string(), fileName)) continue;
            std::error_code statEc, removeEc;
            // A link or a folder of that name is not the writer's: it is left alone.
            if (!std::filesystem::is_regular_file(
                    std::filesystem::symlink_status(candidate, statEc)))
                continue;
            if (std::filesystem::remove(candidate, removeEc)) removed.push_back(candidate);
        }
    }
    return removed;
}

} // namespace tesseron
