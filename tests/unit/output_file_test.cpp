#include "io/output_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "app/screenshot_file.h"
#include "stream_text.h"

namespace {

class OutputFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/tarnwell-output-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = std::string(name) + "/";
        err_ = std::tmpfile();
    }
    void TearDown() override {
        std::fclose(err_);
        const std::string command = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
    void put(const std::string& name, const char* text) const {
        std::FILE* f = std::fopen((dir_ + name).c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(text, f);
        std::fclose(f);
    }
    std::string read(const std::string& name) const {
        std::FILE* f = std::fopen((dir_ + name).c_str(), "r");
        if (f == nullptr) return "<missing>";
        std::string text = stream_text(f);
        std::fclose(f);
        return text;
    }
    // The folder's entries other than those named, such as a temporary file left behind.
    int entries() const {
        const std::string command = "ls -A '" + dir_ + "' | wc -l";
        std::FILE* p = popen(command.c_str(), "r");
        int n = -1;
        if (p != nullptr && std::fscanf(p, "%d", &n) != 1) n = -1;
        if (p != nullptr) pclose(p);
        return n;
    }
    std::string dir_;
    std::FILE* err_ = nullptr;
};

TEST_F(OutputFileTest, DestinationsThatAreNoPlainFileAreRefusedAndLeftAlone) {
    ASSERT_EQ(mkdir((dir_ + "folder").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo((dir_ + "fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink("nowhere.txt", (dir_ + "dangling").c_str()), 0);
    struct Case {
        std::string path;
        std::string reason;
    } cases[] = {
        {dir_ + "folder", "it is a folder, not a regular file"},
        {dir_ + "fifo", "it is a FIFO (named pipe), not a regular file"},
        {"/dev/null", "it is a device, not a regular file"},
        {dir_ + "dangling", "it is a symbolic link to 'nowhere.txt', which does not exist"},
        {dir_ + "no/such/state.txt", "the folder '" + dir_ + "no/such' does not exist"},
        {dir_ + "folder/", "it is a folder"},
    };
    for (const Case& c : cases) {
        OutputFile file;
        EXPECT_FALSE(check_output("prog", "the dump", c.path, err_)) << c.path;
        EXPECT_FALSE(open_output(&file, "prog", "the dump", c.path, err_)) << c.path;
        EXPECT_EQ(file.out, nullptr);
        const std::string said = stream_text(err_);
        EXPECT_NE(said.find("prog: cannot write the dump '" + c.path + "': " + c.reason),
                  std::string::npos)
            << said;
    }
    struct stat st;
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    ASSERT_EQ(stat((dir_ + "fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    ASSERT_EQ(lstat((dir_ + "dangling").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(entries(), 3) << "something was created beside them";

    // A file its user may not write is refused although the folder would allow a rename (only
    // a user other than root can see this).
    if (geteuid() != 0) {
        put("locked.txt", "mine");
        ASSERT_EQ(chmod((dir_ + "locked.txt").c_str(), 0444), 0);
        EXPECT_FALSE(check_output("prog", "the dump", dir_ + "locked.txt", err_));
        EXPECT_NE(stream_text(err_).find("the file may not be written (Permission denied)"),
                  std::string::npos);
    }
}

TEST_F(OutputFileTest, OnlyAWholeOutputReplacesTheOldFileAndLinksStayLinks) {
    put("state.txt", "old");
    ASSERT_EQ(chmod((dir_ + "state.txt").c_str(), 0640), 0);
    ASSERT_EQ(symlink("state.txt", (dir_ + "link.txt").c_str()), 0);

    // A write that failed (a full disk) leaves the old file and no temporary one.
    OutputFile file;
    ASSERT_TRUE(open_output(&file, "prog", "the dump", dir_ + "state.txt", err_));
    std::fputs("half of the n", file.out);
    EXPECT_EQ(entries(), 3);
    EXPECT_FALSE(commit_output(&file, ENOSPC, err_));
    EXPECT_NE(stream_text(err_).find("prog: cannot write the dump '" + dir_ +
                                     "state.txt': No space left on device"),
              std::string::npos);
    EXPECT_EQ(read("state.txt"), "old");
    EXPECT_EQ(entries(), 2);

    // Abandoned (a blow-up): the same.
    ASSERT_TRUE(open_output(&file, "prog", "the dump", dir_ + "state.txt", err_));
    abandon_output(&file);
    EXPECT_EQ(read("state.txt"), "old");
    EXPECT_EQ(entries(), 2);

    // Complete, through the link: the file linked to takes the new text and keeps its mode.
    ASSERT_TRUE(open_output(&file, "prog", "the dump", dir_ + "link.txt", err_));
    std::fputs("new", file.out);
    ASSERT_TRUE(commit_output(&file, 0, err_)) << stream_text(err_);
    EXPECT_EQ(read("state.txt"), "new");
    struct stat st;
    ASSERT_EQ(lstat((dir_ + "link.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat((dir_ + "state.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(entries(), 2);
}

TEST_F(OutputFileTest, NewNamesNeverReplaceAFile) {
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 7;
    when.tm_hour = 9;
    when.tm_min = 5;
    when.tm_sec = 3;
    when.tm_isdst = -1;
    const ScreenshotNames names = screenshot_names(dir_, std::mktime(&when));
    // Somebody's file already has the second name: it is skipped, not replaced.
    put("tarnwell-20261207-090503-2.png", "keep me");
    std::string saved[3];
    for (std::string& path : saved) {
        OutputFile file;
        ASSERT_TRUE(open_output(&file, "prog", "the screenshot", screenshot_name(1, &names), err_));
        std::fputs("png", file.out);
        ASSERT_TRUE(commit_output_new(&file, 0, screenshot_name, &names, err_))
            << stream_text(err_);
        path = file.path;
    }
    EXPECT_EQ(saved[0], dir_ + "tarnwell-20261207-090503.png");
    EXPECT_EQ(saved[1], dir_ + "tarnwell-20261207-090503-3.png");
    EXPECT_EQ(saved[2], dir_ + "tarnwell-20261207-090503-4.png");
    EXPECT_EQ(read("tarnwell-20261207-090503-2.png"), "keep me");
    EXPECT_EQ(read("tarnwell-20261207-090503-4.png"), "png");
    EXPECT_EQ(entries(), 4) << "a temporary file was left";
}

TEST_F(OutputFileTest, TwoPathsToOneFileAreTheSameFile) {
    put("s.ini", "[phys]\n");
    ASSERT_EQ(mkdir((dir_ + "sub").c_str(), 0700), 0);
    ASSERT_EQ(symlink("s.ini", (dir_ + "link.ini").c_str()), 0);
    ASSERT_EQ(symlink("sub", (dir_ + "sublink").c_str()), 0);
    EXPECT_TRUE(same_file(file_identity(dir_ + "s.ini"), file_identity(dir_ + "sub/../s.ini")));
    EXPECT_TRUE(same_file(file_identity(dir_ + "s.ini"), file_identity(dir_ + "link.ini")));
    // Files not made yet: the same once the folder is resolved.
    EXPECT_TRUE(
        same_file(file_identity(dir_ + "sub/new.png"), file_identity(dir_ + "sublink/new.png")));
    EXPECT_FALSE(same_file(file_identity(dir_ + "sub/new.png"), file_identity(dir_ + "new.png")));

    const NamedPath clash[] = {
        {"the settings file", dir_ + "s.ini"}, {"--dump", ""}, {"--screenshot", dir_ + "link.ini"}};
    EXPECT_FALSE(distinct_files("prog", clash, 3, err_));
    EXPECT_NE(stream_text(err_).find("prog: the settings file '" + dir_ +
                                     "s.ini' and --screenshot '" + dir_ +
                                     "link.ini' are the same file"),
              std::string::npos);
    const NamedPath apart[] = {{"the settings file", dir_ + "s.ini"},
                               {"--dump", dir_ + "sub/new.png"},
                               {"--screenshot", dir_ + "new.png"}};
    EXPECT_TRUE(distinct_files("prog", apart, 3, err_));
}

} // namespace
