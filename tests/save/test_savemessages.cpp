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
    // Written whole, but a folder stands where the file goes.
    ASSERT_EQ(mkdir(dir_.file("save").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir_.file("save/b.sav").c_str(), 0755), 0);
    dir_.write("save/b.sav/keep", "x");
    EXPECT_EQ(Save_Game(Joined("save", "b.sav").c_str(), 0), 0);
    EXPECT_NE(log_.text().find("Save failed [" + dir_.file("save/b.sav") + "]: rename: Is a directory"),
              std::string::npos)
        << log_.text();
    // What stands in the way at the save's name or at the temporary name,
    // and what it is (errno's text said "Invalid argument" or "File exists").
    ASSERT_EQ(mkfifo(dir_.file("save/c.sav").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/null", dir_.file("save/d.sav").c_str()), 0);
    const std::string tmp = dir_.file("save/e.sav.tmp") + std::to_string((long)getpid());
    ASSERT_EQ(mkdir(tmp.c_str(), 0755), 0);
    const struct {
        const char* name;
        std::string why;
    } rows[] = {
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
}

// Regression: a file of zeros was read whole (242 MB more memory) before
// its header was looked at. The load runs in a child, whose peak is its own.
TEST_F(FileTrustSaveMessages, ALargeFileThatIsNoSavedGameIsRefusedByItsHeaderWithoutBeingRead)
{
    const std::string zeros = dir_.file("zeros.sav");
    const int fd = open(zeros.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 250000000), 0);
    close(fd);
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        struct rusage before, after;
        getrusage(RUSAGE_SELF, &before);
        const int r = Save_Load(zeros.c_str());
        getrusage(RUSAGE_SELF, &after);
        const std::string report = std::to_string(r) + " " + std::to_string(after.ru_maxrss - before.ru_maxrss) +
                                   " " + Save_LoadError();
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
    EXPECT_NE(report.find("zeros.sav: header length 0 at offset 0, not 24"), std::string::npos) << report;
    EXPECT_LT(grewKb, 16 * 1024) << "peak memory grew by " << grewKb << " kB";
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
