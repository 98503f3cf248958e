// Linux only: TMPDIR, /tmp and /proc, symbolic links, POSIX file modes, setrlimit, forked children.
#include <stdlib.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <regex>
#include <set>

#include "ChildProcess.h"
#include "TestSupport.h"
#include "update/TempFiles.h"

namespace fs = std::filesystem;

namespace tvk {
namespace {

// Points TMPDIR at a folder for the test and puts the old value back after.
class TempFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* old = std::getenv("TMPDIR")) saved_ = old;
        UseTempDir(folder_.Path());
    }
    void TearDown() override {
        if (saved_)
            ::setenv("TMPDIR", saved_->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }
    void UseTempDir(const fs::path& path) { ::setenv("TMPDIR", path.c_str(), 1); }
    std::vector<fs::path> Files(const fs::path& folder) const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
        return files;
    }

    test::TempFolder folder_;
    std::optional<std::string> saved_;
};

TEST_F(TempFilesTest, TempDirIsTheResolvedFolderWithOneTrailingSlash) {
    EXPECT_EQ(GetTempDir(), fs::canonical(folder_.Path()).string() + "/");

    fs::create_directory(folder_ / "Real");
    fs::create_directory_symlink(folder_ / "Real", folder_ / "link");
    UseTempDir(folder_.Path().string() + "/link/");
    EXPECT_EQ(GetTempDir(), fs::canonical(folder_ / "Real").string() + "/");

    UseTempDir(folder_ / "missing");
    EXPECT_EQ(GetTempDir(), fs::canonical("/tmp").string() + "/");
}

TEST_F(TempFilesTest, EachCallGivesANewEmptyFile) {
    const std::string first = GetTempFileName("");
    const std::string second = GetTempFileName("");
    EXPECT_NE(first, second);
    const std::regex platformName(GetTempDir() + "tvk[0-9A-F]+\\.TMP");
    for (const std::string& path : {first, second}) {
        EXPECT_TRUE(std::regex_match(path, platformName)) << path;
        EXPECT_TRUE(fs::is_regular_file(path));
        EXPECT_EQ(fs::file_size(path), 0u);
    }
}

TEST_F(TempFilesTest, ExtensionRenamesTheFileAndKeepsTheFolderCase) {
    const fs::path folder = folder_ / "Temp ABC";
    fs::create_directory(folder);
    UseTempDir(folder);
    const std::string path = GetTempFileName("htm");
    const std::string dir = fs::canonical(folder).string() + "/";
    EXPECT_TRUE(std::regex_match(path, std::regex(dir + "tvk[0-9A-F]+\\.htm"))) << path;
    EXPECT_EQ(Files(folder), std::vector<fs::path>{path});  // the .TMP name is gone
}

TEST_F(TempFilesTest, WrittenFileHasALowerCaseNameAndTheWindows1252Bytes) {
    const fs::path folder = folder_ / "Temp ABC";
    fs::create_directory(folder);
    UseTempDir(folder);
    const std::string path = WriteTempFile("Hilsen \xC3\xB8 \xE2\x82\xAC \xC3\xA5 \xD0\x96", "htm");
    const std::string dir = fs::canonical(folder).string() + "/";
    EXPECT_TRUE(std::regex_match(path, std::regex(dir + "tvk[0-9a-f]+\\.htm"))) << path;
    EXPECT_EQ(test::ReadAll(path), "Hilsen \xF8 \x80 \xE5 ?");
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Files(folder), std::vector<fs::path>{path});

    const std::string empty = WriteTempFile("", "htm");
    EXPECT_TRUE(fs::exists(empty));
    EXPECT_EQ(fs::file_size(empty), 0u);

    const std::string plain = WriteTempFile("abc", "");
    EXPECT_TRUE(plain.ends_with(".TMP")) << plain;
    EXPECT_EQ(test::ReadAll(plain), "abc");
}

TEST_F(TempFilesTest, FolderWhereNothingCanBeCreatedThrows) {
    UseTempDir("/proc");
    EXPECT_EQ(test::ErrorOf([] { GetTempFileName("htm"); }).Number(), ENOENT);
    EXPECT_EQ(test::ErrorOf([] { WriteTempFile("x", "htm"); }).Number(), ENOENT);
}

// A write that fails half-way (file size limit) is reported and the file is
// removed, rather than a path handed back to a file without the text.
TEST_F(TempFilesTest, FailedWriteThrowsAndLeavesNothing) {
    test::ChildProcess child([]() -> long {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{10, 10};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            WriteTempFile(std::string(100, 'x'), "htm");
        } catch (const ServiceError& e) {
            return e.Number() == EFBIG ? 0 : 2;
        }
        return 1;
    });
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_TRUE(Files(folder_.Path()).empty());
}

// Processes writing at the same time each get files of their own.
TEST_F(TempFilesTest, ConcurrentProcessesNeverShareAFile) {
    constexpr int kChildren = 4, kFilesEach = 200;
    std::vector<std::unique_ptr<test::ChildProcess>> children;
    for (int c = 0; c < kChildren; ++c) {
        children.push_back(std::make_unique<test::ChildProcess>([&, c]() -> long {
            std::ofstream list(folder_ / ("list" + std::to_string(c)));
            for (int i = 0; i < kFilesEach; ++i)
                list << WriteTempFile(std::to_string(c), i % 2 ? "htm" : "") << '\n';
            list.close();  // _exit flushes no streams
            return list ? 0 : 1;
        }));
    }
    for (auto& child : children) EXPECT_EQ(child->Wait(), 0);
    std::set<std::string> paths;
    for (int c = 0; c < kChildren; ++c) {
        std::ifstream list(folder_ / ("list" + std::to_string(c)));
        for (std::string path; std::getline(list, path);) {
            EXPECT_TRUE(paths.insert(path).second) << path;
            EXPECT_EQ(test::ReadAll(path), std::to_string(c)) << path;
        }
    }
    EXPECT_EQ(paths.size(), size_t{kChildren * kFilesEach});
    EXPECT_EQ(Files(folder_.Path()).size(), paths.size() + kChildren);
}

}  // namespace
}  // namespace tvk
