// What a failed save or a refused load tells the player: the file as it
// stands on the disk, and for a save the step that failed and why.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "core/crc32.h"
#include "core/gamestate.h"
#include "save/save.h"
#include "support/testsupport.h"

namespace {

class FileTrustSaveMessages : public ::testing::Test {
protected:
    void SetUp() override
    {
        Save_Init();
        memcpy(oldName_, g_ScenarioName, sizeof oldName_);
        strcpy(g_ScenarioName, "Alpha");
    }
    void TearDown() override { memcpy(g_ScenarioName, oldName_, sizeof oldName_); }
    // The path as the game joins its folders and names.
    std::string Joined(const std::string& folder, const std::string& name) const
    {
        return dir_.path() + "\\" + folder + "\\" + name;
    }
    QvTempDir dir_;
    QvLogCapture log_;
    char oldName_[16];
};

// Regression: a save that failed logged only "Save failed [path]", with the
// path as joined; a read-only folder and a full disk read the same. (Tests
// run as root, for whom no folder is read-only: a file where the folder
// should be fails the open the same way.)
TEST_F(FileTrustSaveMessages, AFailedSaveLogsTheFailingStepAndItsReason)
{
    dir_.write("plain", "x");
    EXPECT_EQ(Save_Game(Joined("plain", "a.sav").c_str(), 0), 0);
    EXPECT_NE(log_.text().find("Save failed [" + dir_.file("plain/a.sav") + "]: open: Not a directory"),
              std::string::npos)
        << log_.text();
    // What stands in the way at the save's name or at the temporary name,
    // and what it is (errno's text said "Invalid argument", "File exists",
    // or for a folder, after the whole write, "rename: Is a directory").
    ASSERT_EQ(mkdir(dir_.file("save").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir_.file("save/b.sav").c_str(), 0755), 0);
    dir_.write("save/b.sav/keep", "x");
    ASSERT_EQ(mkfifo(dir_.file("save/c.sav").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/null", dir_.file("save/d.sav").c_str()), 0);
    const std::string tmp = dir_.file("save/e.sav.tmp") + std::to_string((long)getpid());
    ASSERT_EQ(mkdir(tmp.c_str(), 0755), 0);
    const struct {
        const char* name;
        std::string why;
    } rows[] = {
        {"b.sav", dir_.file("save/b.sav") + " is a directory, not a regular file"},
        {"c.sav", dir_.file("save/c.sav") + " is a FIFO, not a regular file"},
        {"d.sav", "/dev/null is a character device, not a regular file"},
        {"e.sav", "the temporary name " + tmp + " is a directory, not a regular file"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(Save_Game(Joined("save", r.name).c_str(), 0), 0) << r.name;
        EXPECT_NE(log_.text().find("Save failed [" + dir_.file(std::string("save/") + r.name) + "]: open: " + r.why),
                  std::string::npos)
            << log_.text();
    }
    EXPECT_EQ(dir_.read("save/b.sav/keep"), "x");
    EXPECT_NE(access((dir_.file("save/b.sav") + ".tmp" + std::to_string((long)getpid())).c_str(), F_OK), 0);
}

// Regression: a file of zeros was read whole (242 MB more memory) before
// its header was looked at; one with a sound header and 250 MB of zeros
// after it still was (278 MB), though its blocks end at offset 40. The load
// runs in a child, whose peak is its own.
TEST_F(FileTrustSaveMessages, RegressionALargeFileWhoseBlocksDontHoldItIsRefusedWithoutBeingRead)
{
    uint8_t head[32] = {24, 0, 0, 0, 1, 0, 6, 0};
    memcpy(head + 12, "Alpha", 6);
    const uint32_t crc = Crc32_Block(head + 4, 24);
    for (int i = 0; i < 4; i++) head[28 + i] = (uint8_t)(crc >> 8 * i);
    const struct {
        const char* name;
        size_t head;
        const char* why;
    } rows[] = {
        {"zeros.sav", 0, "zeros.sav: header length 0 at offset 0, not 24"},
        {"blank.sav", sizeof head, "blank.sav: 262144000 bytes after the last block at offset 40"},
    };
    for (const auto& r : rows) {
        const std::string path = dir_.file(r.name);
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, head, r.head), (ssize_t)r.head);
        ASSERT_EQ(ftruncate(fd, (off_t)(r.head ? 262144040 : 250000000)), 0);
        close(fd);
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            struct rusage before, after;
            getrusage(RUSAGE_SELF, &before);
            const int result = Save_Load(path.c_str());
            getrusage(RUSAGE_SELF, &after);
            const std::string report = std::to_string(result) + " " +
                                       std::to_string(after.ru_maxrss - before.ru_maxrss) + " " + Save_LoadError();
            if (write(out[1], report.data(), report.size()) < 0) _exit(2);
            _exit(0);
        }
        close(out[1]);
        std::string report;
        char buf[512];
        for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) report.append(buf, (size_t)n);
        close(out[0]);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        int result = -1;
        long grewKb = -1;
        ASSERT_EQ(sscanf(report.c_str(), "%d %ld", &result, &grewKb), 2) << report;
        EXPECT_EQ(result, SAVE_BADFILE) << report;
        EXPECT_NE(report.find(r.why), std::string::npos) << report;
        EXPECT_LT(grewKb, 16 * 1024) << r.name << ": peak memory grew by " << grewKb << " kB";
        unlink(path.c_str());
    }
}

// Regression: "Saved game not loaded: .../save\bad.sav: ...".
TEST_F(FileTrustSaveMessages, ARefusedLoadNamesTheFileAsALinuxPath)
{
    dir_.write("save/bad.sav", "not a saved game");
    EXPECT_NE(Save_Load(Joined("save", "bad.sav").c_str()), SAVE_LOADED);
    EXPECT_EQ(std::string(Save_LoadError()).rfind(dir_.file("save/bad.sav") + ": ", 0), 0u) << Save_LoadError();
    EXPECT_NE(Save_Load(Joined("save", "none.sav").c_str()), SAVE_LOADED);
    EXPECT_EQ(std::string(Save_LoadError()).rfind(dir_.file("save/none.sav") + ": ", 0), 0u) << Save_LoadError();
}

} // namespace
