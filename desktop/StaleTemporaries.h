#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace tesseron {

// Whether `name` is a temporary file that the atomic writer makes beside `fileName` before
// renaming it into place: the file name, ".tmp-" and eight lower-case letters or digits.
bool IsTemporaryOf(std::string_view name, std::string_view fileName);

// Removes the temporary files that a run killed while writing left beside each of `files`
// (regular files of the writer's pattern only; nothing else is touched). Call it only while
// no other run may be writing those files. Returns what was removed; a leftover that
// cannot be removed is left, as it harms nothing.
std::vector<std::filesystem::path>
RemoveStaleTemporaries(const std::vector<std::filesystem::path>& files);

} // namespace tesseron
