// The tools' output file: a file appears complete or not at all, an existing
// one is replaced only when asked, and nothing that is not a regular file is
// ever renamed over.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "output_file.h"

namespace {

namespace fs = std::filesystem;

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/output-file-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    int entries() const {
        int count = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder_)) {
            ++count;
        }
        return count;
    }

    std::string content(const fs::path& path) const {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    // Writes `text` through a fresh OutputFile and commits it; the error, or "" on success.
    std::string writeThrough(const fs::path& target, bool replace, const std::string& text) {
        OutputFile file(target.string(), replace);
        if (!file.ready()) return file.error();
        std::FILE* stream = file.stream();
        if (stream == nullptr) return file.error();
        std::fputs(text.c_str(), stream);
        return file.commit() ? "" : file.error();
    }

    fs::path folder_;
};

TEST_F(OutputFileTest, CommitReplacesTheDestinationWithTheFinishedFile) {
    const fs::path destination = folder_ / "out.mp4";
    std::ofstream(destination) << "old";
    {
        OutputFile file(destination.string(), true);
        ASSERT_TRUE(file.ready()) << file.error();
        EXPECT_FALSE(file.direct());
        EXPECT_EQ(fs::path(file.writePath()).parent_path(), folder_);
        std::ofstream(file.writePath()) << "new";
        ASSERT_TRUE(file.commit()) << file.error();
    }
    EXPECT_EQ(content(destination), "new");
    EXPECT_EQ(entries(), 1);
    // Readable as any file the user creates, not private as a temporary file is.
    const mode_t mask = umask(0);
    umask(mask);
    struct stat status {};
    ASSERT_EQ(stat(destination.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0666u & ~mask);
}

TEST_F(OutputFileTest, AnUncommittedFileLeavesNothingAndTheOldFileUntouched) {
    const fs::path destination = folder_ / "out.mp4";
    std::ofstream(destination) << "old";
    {
        OutputFile file(destination.string(), true);
        ASSERT_TRUE(file.ready());
        std::fputs("half", file.stream());
    }
    EXPECT_EQ(content(destination), "old");
    EXPECT_EQ(entries(), 1);
}

struct RefusedDestination {
    const char* rule;
    std::string relativePath;
    bool replace;
    const char* message;
};

TEST_F(OutputFileTest, UnwritableOrPreciousDestinationsAreRefusedUpFront) {
    fs::create_directory(folder_ / "folder");
    std::ofstream(folder_ / "kept.wav") << "kept";
    fs::create_symlink("nowhere/at/all.wav", folder_ / "dangling.wav");
    fs::create_symlink("loop.wav", folder_ / "loop.wav");
    const RefusedDestination rows[] = {
        {"a missing folder", "missing/out.mp4", true, "No such file or directory"},
        {"a folder in the way", "folder", true, "is a folder"},
        {"an existing file, not asked to replace", "kept.wav", false, "exists; --force replaces it"},
        {"a link into a missing folder", "dangling.wav", true, "No such file or directory"},
        {"a link to itself", "loop.wav", true, "is a link that cannot be followed"},
    };
    for (const RefusedDestination& row : rows) {
        const std::string destination = (folder_ / row.relativePath).string();
        OutputFile file(destination, row.replace);
        EXPECT_FALSE(file.ready()) << row.rule;
        EXPECT_NE(file.error().find(destination), std::string::npos) << row.rule << ": " << file.error();
        EXPECT_NE(file.error().find(row.message), std::string::npos) << row.rule << ": " << file.error();
    }
    EXPECT_EQ(content(folder_ / "kept.wav"), "kept");
    EXPECT_EQ(entries(), 4);
}

// A link to a file not made yet: the file is made, the link stays. (Links to existing files, devices and pipes:
// xm2wav's output safety table.)
TEST_F(OutputFileTest, ALinkToAFileNotMadeYetMakesItAndStaysALink) {
    fs::create_symlink("later.wav", folder_ / "ahead.wav");
    EXPECT_EQ(writeThrough(folder_ / "ahead.wav", false, "made"), "");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder_ / "ahead.wav")));
    EXPECT_EQ(content(folder_ / "later.wav"), "made");
    EXPECT_EQ(entries(), 2);
}

struct ReplacedFile {
    const char* rule;
    mode_t mode;
    bool hardLinked;
};

// Replacing is writing a new version of the same file: whoever could read it
// before can read it after, no one else, and every name it has shows the new content.
TEST_F(OutputFileTest, AReplacedFileKeepsItsPermissionsAndHardLinks) {
    const ReplacedFile rows[] = {
        {"a private file stays private", 0600, false},
        {"a file others may write stays so, whatever the umask", 0664, false},
        {"an executable bit is kept", 0750, false},
        {"a hard-linked file stays one file under both names", 0640, true},
    };
    for (const ReplacedFile& row : rows) {
        const fs::path destination = folder_ / "out.wav";
        const fs::path other = folder_ / "other-name.wav";
        std::ofstream(destination) << "old";
        ASSERT_EQ(chmod(destination.c_str(), row.mode), 0);
        if (row.hardLinked) fs::create_hard_link(destination, other);
        EXPECT_EQ(writeThrough(destination, true, "new"), "") << row.rule;
        struct stat status {};
        ASSERT_EQ(stat(destination.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, row.mode) << row.rule;
        EXPECT_EQ(content(destination), "new") << row.rule;
        if (row.hardLinked) {
            EXPECT_EQ(status.st_nlink, 2u) << row.rule;
            EXPECT_EQ(content(other), "new") << row.rule;
        }
        EXPECT_EQ(entries(), row.hardLinked ? 2 : 1) << row.rule << ": no temporary file is left";
        fs::remove(destination);
        fs::remove(other);
    }
}

// A link planted at a temporary name is never written through: the temporary
// file is created exclusively, and the link's target stays as it was. The
// names are known in advance, so the links sit where the file is really tried.
TEST_F(OutputFileTest, PlantedLinksAtTemporaryNamesAreNeverFollowed) {
    std::ofstream(folder_ / "victim") << "precious";
    const std::string planted[] = {"one", "two", "three"};
    for (const std::string& suffix : planted) fs::create_symlink("victim", folder_ / (".out.wav.partial-" + suffix));
    int tried = 0;
    const auto names = [&] { return tried < 3 ? planted[tried++] : "free"; };
    OutputFile file((folder_ / "out.wav").string(), false, names);
    ASSERT_TRUE(file.ready()) << file.error();
    EXPECT_EQ(fs::path(file.writePath()).filename(), ".out.wav.partial-free") << "each planted name was passed over";
    std::fputs("render", file.stream());
    ASSERT_TRUE(file.commit()) << file.error();
    EXPECT_EQ(content(folder_ / "victim"), "precious");
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(folder_ / "out.wav")));
    EXPECT_EQ(content(folder_ / "out.wav"), "render");
}

// A name near the file-name limit leaves no room for the temporary suffix: a short temporary name is used.
TEST_F(OutputFileTest, ANameNearTheLimitStillGetsATemporaryFile) {
    const std::string name = std::string(245, 'n') + ".wav";
    EXPECT_EQ(writeThrough(folder_ / name, false, "long"), "");
    EXPECT_EQ(content(folder_ / name), "long");
    EXPECT_EQ(entries(), 1);
}

}  // namespace
