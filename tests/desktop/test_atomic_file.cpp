#include "desktop/AtomicFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tesseron;
using tesseron::test::ReadFile;
using tesseron::test::TempDir;

namespace {

TEST(AtomicFile, ReplacesContentAndLeavesNoTemporaryFiles) {
    TempDir dir;
    const auto p = dir.Write("f.txt", "old content that is longer");
    WriteFileAtomically(p, std::string("new\0bytes", 9));
    EXPECT_EQ(ReadFile(p), std::string("new\0bytes", 9));
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(AtomicFile, FailedWriteKeepsTheOldFile) {
    TempDir dir;
    const auto p = dir.Write("f.txt", "precious");
    // A folder in the way of the target makes the rename fail after the data was written.
    const auto blocked = dir / "blocked";
    std::filesystem::create_directory(blocked);
    dir.Write("blocked/inside", "x");
    EXPECT_THROW(WriteFileAtomically(blocked, "data"), FileWriteError);
    EXPECT_EQ(ReadFile(p), "precious");
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 2) << "the temporary file must be removed";
}

TEST(AtomicFile, FollowsALinkedFolderButNotALinkedFile) {
    TempDir dir;
    std::filesystem::create_directory(dir / "real");
    const auto target = dir.Write("real/f.ini", "a");
    std::filesystem::create_directory_symlink("real", dir / "linked");
    WriteFileAtomically(dir / "linked" / "f.ini", "b"); // a folder kept elsewhere is fine
    EXPECT_EQ(ReadFile(target), "b");
    std::filesystem::create_symlink("real/f.ini", dir / "link.ini");
    EXPECT_THROW(WriteFileAtomically(dir / "link.ini", "c"), FileWriteError);
    EXPECT_EQ(ReadFile(target), "b");
}

TEST(AtomicFile, ReadWholeFileRejectsFoldersAndMissingFiles) {
    TempDir dir;
    std::string content = "unchanged";
    EXPECT_FALSE(ReadWholeFile(dir / "missing", content));
    EXPECT_FALSE(ReadWholeFile(dir.path(), content));
    // A FIFO with no writer would block an ordinary open for good.
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(ReadWholeFile(dir / "fifo", content));
    const std::string big(3 << 20, 'z');
    EXPECT_TRUE(ReadWholeFile(dir.Write("big", big), content));
    EXPECT_EQ(content, big);
}

} // namespace
