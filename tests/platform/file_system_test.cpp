#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace melvara::platform {
namespace {

namespace fs = std::filesystem;

const std::string kNameGbk = "\xC7\xE7\xCC\xEC";  // 晴天
const std::string kNameUtf8 = "\xE6\x99\xB4\xE5\xA4\xA9";

// A fresh directory under the system's temporary folder, removed with everything in it.
class Sandbox {
  public:
    Sandbox() {
        std::string pattern = (fs::temp_directory_path() / "melvara-fs-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~Sandbox() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    // The sandbox as a path prefix; its own name is ASCII, so it is GBK and UTF-8 alike.
    std::string Root() const { return path_ + "/"; }
    std::size_t EntryCount() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(path_), fs::directory_iterator()));
    }

  private:
    std::string path_;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

Bytes ToBytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

TEST(FileSystemTest, PathIsDirectoryGivesSixteenOnlyForDirectories) {
    Sandbox sandbox;
    fs::create_directory(sandbox.Root() + kNameUtf8);
    WriteFile(sandbox.Root() + "file", "x");
    EXPECT_EQ(PathIsDirectory(sandbox.Root()), 16);
    EXPECT_EQ(PathIsDirectory(sandbox.Root() + kNameGbk), 16);
    EXPECT_EQ(PathIsDirectory(sandbox.Root() + kNameGbk + "/"), 16);
    EXPECT_EQ(PathIsDirectory(sandbox.Root() + "file"), 0);
    EXPECT_EQ(PathIsDirectory(sandbox.Root() + "missing"), 0);
    EXPECT_EQ(PathIsDirectory(""), 0);
    EXPECT_EQ(PathIsDirectory(sandbox.Root() + std::string("\0x", 2)), 0);  // cut short
}

TEST(FileSystemTest, MakeSureDirectoryPathExistsCreatesUpToTheLastSlash) {
    Sandbox sandbox;
    const std::string root = sandbox.Root();
    EXPECT_TRUE(MakeSureDirectoryPathExists(root + "one/" + kNameGbk + "/"));
    EXPECT_TRUE(fs::is_directory(root + "one/" + kNameUtf8));

    EXPECT_TRUE(MakeSureDirectoryPathExists(root + "two/three"));  // "three" is a file name
    EXPECT_TRUE(fs::is_directory(root + "two"));
    EXPECT_FALSE(fs::exists(root + "two/three"));

    EXPECT_TRUE(MakeSureDirectoryPathExists(root + "one/" + kNameGbk + "/"));  // already there

    WriteFile(root + "file", "x");
    EXPECT_FALSE(MakeSureDirectoryPathExists(root + "file/sub/"));
    EXPECT_TRUE(fs::is_regular_file(root + "file"));
}

TEST(FileSystemTest, ReplaceFileContentsCreatesAndReplacesWhole) {
    Sandbox sandbox;
    const std::string path = sandbox.Root() + kNameGbk + ".mp3";
    const std::string onDisk = sandbox.Root() + kNameUtf8 + ".mp3";

    EXPECT_TRUE(ReplaceFileContents(path, ToBytes(std::string("new\0file", 8))));
    EXPECT_EQ(ReadFile(onDisk), std::string("new\0file", 8));

    EXPECT_TRUE(ReplaceFileContents(path, ToBytes("short")));  // no tail of the old one left
    EXPECT_EQ(ReadFile(onDisk), "short");

    EXPECT_TRUE(ReplaceFileContents(path, Bytes()));
    EXPECT_EQ(ReadFile(onDisk), "");
    EXPECT_EQ(fs::status(onDisk).permissions() & fs::perms::owner_write, fs::perms::owner_write);
    EXPECT_EQ(sandbox.EntryCount(), 1u);  // no temporary file left behind
}

TEST(FileSystemTest, ReplaceFileContentsFailureKeepsTheOldFile) {
    Sandbox sandbox;
    const std::string root = sandbox.Root();
    const std::string path = root + "song.mp3";
    WriteFile(path, "old contents");

    // A write that fails half way: the file size limit stops it after 1 KiB.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previousAction {};
    sigaction(SIGXFSZ, &ignore, &previousAction);
    rlimit previousLimit{};
    getrlimit(RLIMIT_FSIZE, &previousLimit);
    rlimit small = previousLimit;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = ReplaceFileContents(path, Bytes(64 * 1024, 0x55));
    setrlimit(RLIMIT_FSIZE, &previousLimit);
    sigaction(SIGXFSZ, &previousAction, nullptr);

    EXPECT_FALSE(written);
    EXPECT_EQ(ReadFile(path), "old contents");
    EXPECT_EQ(sandbox.EntryCount(), 1u);

    // Targets that cannot be files at all.
    fs::create_directory(root + "folder");
    EXPECT_FALSE(ReplaceFileContents(root + "folder", ToBytes("x")));
    EXPECT_TRUE(fs::is_directory(root + "folder"));
    EXPECT_FALSE(ReplaceFileContents(root + "missing/song.mp3", ToBytes("x")));
    EXPECT_FALSE(fs::exists(root + "missing"));
    EXPECT_FALSE(ReplaceFileContents(root + "trailing/", ToBytes("x")));
    EXPECT_FALSE(ReplaceFileContents("", ToBytes("x")));
    EXPECT_EQ(sandbox.EntryCount(), 2u);  // song.mp3 and folder
}

TEST(FileSystemTest, RunDirectoryAndCurrentDirectory) {
    const Text runDirectory = RunDirectory();
    ASSERT_FALSE(runDirectory.empty());
    EXPECT_NE(runDirectory.back(), '/');
    EXPECT_TRUE(fs::is_regular_file(runDirectory + "/platform_core_tests"));

    Sandbox sandbox;
    fs::create_directory(sandbox.Root() + kNameUtf8);
    const fs::path previous = fs::current_path();
    ASSERT_TRUE(SetCurrentDirectory(sandbox.Root() + kNameGbk));
    EXPECT_TRUE(ReplaceFileContents("relative.txt", ToBytes("here")));
    EXPECT_FALSE(SetCurrentDirectory(sandbox.Root() + "missing"));
    EXPECT_FALSE(SetCurrentDirectory(""));
    fs::current_path(previous);
    EXPECT_EQ(ReadFile(sandbox.Root() + kNameUtf8 + "/relative.txt"), "here");
}

}  // namespace
}  // namespace melvara::platform
