// What a failed save or a refused load tells the player: the file as it
// stands on the disk, and for a save the step that failed and why.
#include <gtest/gtest.h>

#include <sys/stat.h>

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
