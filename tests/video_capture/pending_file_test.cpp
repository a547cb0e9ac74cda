// The capture's output file appears complete or not at all.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "pending_file.h"

namespace {

class PendingFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/pending-file-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    int entries() const {
        int count = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder_)) {
            ++count;
        }
        return count;
    }

    std::filesystem::path folder_;
};

TEST_F(PendingFileTest, CommitReplacesTheDestinationWithTheFinishedFile) {
    const std::string destination = (folder_ / "out.mp4").string();
    std::ofstream(destination) << "old";
    {
        PendingFile file(destination);
        ASSERT_TRUE(file.ready()) << file.error();
        EXPECT_EQ(std::filesystem::path(file.temporaryPath()).parent_path(), folder_);
        std::ofstream(file.temporaryPath()) << "new";
        ASSERT_TRUE(file.commit()) << file.error();
    }
    std::string content;
    std::ifstream(destination) >> content;
    EXPECT_EQ(content, "new");
    EXPECT_EQ(entries(), 1);
    // Readable as any file the user creates, not private as a temporary file is.
    const mode_t mask = umask(0);
    umask(mask);
    struct stat status {};
    ASSERT_EQ(stat(destination.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u & ~mask);
}

TEST_F(PendingFileTest, AnUncommittedFileLeavesNothingAndTheOldFileUntouched) {
    const std::string destination = (folder_ / "out.mp4").string();
    std::ofstream(destination) << "old";
    {
        PendingFile file(destination);
        ASSERT_TRUE(file.ready());
        std::ofstream(file.temporaryPath()) << "half";
    }
    std::string content;
    std::ifstream(destination) >> content;
    EXPECT_EQ(content, "old");
    EXPECT_EQ(entries(), 1);
}

struct RefusedDestination {
    const char* rule;
    std::string relativePath;
    const char* message;
};

TEST_F(PendingFileTest, UnwritableDestinationsAreRefusedUpFront) {
    std::filesystem::create_directory(folder_ / "folder");
    const RefusedDestination rows[] = {
        {"a missing folder", "missing/out.mp4", "No such file or directory"},
        {"a folder in the way", "folder", "it is a folder"},
    };
    for (const RefusedDestination& row : rows) {
        const std::string destination = (folder_ / row.relativePath).string();
        PendingFile file(destination);
        EXPECT_FALSE(file.ready()) << row.rule;
        EXPECT_NE(file.error().find("cannot create " + destination), std::string::npos) << row.rule;
        EXPECT_NE(file.error().find(row.message), std::string::npos) << row.rule << ": " << file.error();
    }
    EXPECT_EQ(entries(), 1);
}

}  // namespace
