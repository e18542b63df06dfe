#include "app/directories.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace melvara::app {
namespace {

namespace fs = std::filesystem;

class DirectoriesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ =
            fs::temp_directory_path() / ("melvara-dirs-" + std::to_string(std::random_device{}()));
        fs::create_directories(root_);
        std::ofstream(root_ / "file") << "x";
    }
    void TearDown() override { fs::remove_all(root_); }

    Text Path(const std::string& relative) const { return (root_ / relative).string(); }

    fs::path root_;
};

TEST_F(DirectoriesTest, IsDirectoryOnlyForAnExistingDirectory) {
    const struct {
        std::string path;
        bool expected;
    } cases[] = {
        {root_.string(), true},   {root_.string() + "/", true}, {Path("file"), false},
        {Path("missing"), false}, {Path("file/below"), false},  {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsDirectory(c.path), c.expected) << c.path;
    }
}

TEST_F(DirectoriesTest, EnsureDirectoryCreatesEveryMissingLevel) {
    // With and without the trailing separator, both levels appear; a name in
    // GBK reaches the file system as UTF-8.
    const struct {
        std::string path;
        fs::path created;
    } cases[] = {
        {Path("a/b"), root_ / "a/b"},
        {Path("c/d/"), root_ / "c/d"},
        {Path("\xB8\xE8\xC7\xFA/mp3"), root_ / fs::path(u8"歌曲/mp3")},  // "歌曲" in GBK
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(EnsureDirectory(c.path)) << c.path;
        EXPECT_TRUE(fs::is_directory(c.created)) << c.path;
        EXPECT_TRUE(IsDirectory(c.path)) << c.path;
        EXPECT_TRUE(EnsureDirectory(c.path)) << "existing: " << c.path;
    }
    EXPECT_FALSE(fs::exists(root_ / "c/d/d")) << "the separator was doubled or misread";
}

TEST_F(DirectoriesTest, EnsureDirectoryFailsBelowAPlainFile) {
    EXPECT_FALSE(EnsureDirectory(Path("file/sub")));
    EXPECT_TRUE(fs::is_regular_file(root_ / "file"));
    EXPECT_FALSE(IsDirectory(Path("file/sub")));
}

}  // namespace
}  // namespace melvara::app
