// The File layer's folder operations on a scenario tree in a temporary
// directory, popups answered by clicking their buttons by name.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/utils.h"
#include "editor/editor.h"
#include "editor/medesk.h"
#include "editor/mefile.h"
#include "editor/meminimap.h"
#include "editorfixture.h"
#include "platform/font.h"
#include "platform/input.h"
#include "units/team.h"
#include "widgets/qidesktop.h"
#include "widgets/qilayer.h"

namespace fs = std::filesystem;

namespace {

// Clicks the named buttons in turn, each once its popup is up.
class Clicker {
public:
    explicit Clicker(std::vector<std::string> names) : names_(std::move(names))
    {
        Pass(QvPass{});
        script_.onPass = [this](int pass) {
            if (pass < count_ || next_ >= names_.size()) return;
            QIWidget* w = g_MeEditor.desktop->FindByName(names_[next_].c_str());
            if (!w) return;
            next_++;
            Pass(QvMove(w->x + w->w / 2, w->y + w->h / 2));
            Pass(QvButton(1));
            Pass(QvButton(0));
        };
    }
    size_t clicked(void) const { return next_; }

private:
    void Pass(const QvPass& p)
    {
        script_.Add(p);
        count_++;
    }
    QvPassScript script_;
    std::vector<std::string> names_;
    size_t next_ = 0;
    int count_ = 0;
};

class Folder : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        const std::string font = std::string(QV_TEST_RUNDIR) + "/data/mapedit/font256b.pcx";
        ASSERT_TRUE(Font_Load(font.c_str(), g_MeEditor.fontB->font.slot));
        g_MeEditor.desktop = new QIDesktop("MapEdit", nullptr, QIImage(), "mapedit\\");
        g_MeEditor.backdrop = new QIContainer("Backdrop", nullptr);
        QIWidget::AddChild(nullptr, g_MeEditor.backdrop);
        g_MeEditor.miniMap = new MeMiniMap("MiniMap", 0x2000, IRect(506, 332, 134, 136), &g_MeEditor.view);
        QIWidget::AddChild(g_MeEditor.backdrop, g_MeEditor.miniMap);
        g_MeEditor.miniMap->Create();
        Str_CopySafe(savedBase, g_ScenarioBaseDir, sizeof savedBase);
        savedCategory = g_ScenarioCategory;
        Str_CopySafe(g_ScenarioBaseDir, tree.path().c_str(), sizeof g_ScenarioBaseDir);
        fs::create_directories(tree.file("SINGLE"));
        Game_SetScenarioCategory(1);
        g_MeEditor.category = 1;
        Game_SetScenarioName("A");
        g_MeEditor.scenarioName->Set("A");
    }
    void TearDown() override
    {
        Str_CopySafe(g_ScenarioBaseDir, savedBase, sizeof g_ScenarioBaseDir);
        Game_SetScenarioCategory(savedCategory);
        g_MeEditor.backdrop = nullptr;
        g_MeEditor.miniMap = nullptr;
        EditorTest::TearDown(); // closing the editor deletes its desktop
    }
    std::string Scn(const char* folder) { return tree.file(std::string("SINGLE/") + folder + "/QUORVEX.scn"); }
    std::string Read(const std::string& path)
    {
        std::string s;
        Fs_ReadAll(path.c_str(), &s);
        return s;
    }
    QvTempDir tree;
    char savedBase[GAME_PATH];
    int savedCategory = 0;
};

} // namespace

TEST_F(Folder, SaveMakesTheFolderWithItsThreeFilesAndTakesTheBaseline)
{
    teamdata[1].credits = 1234;
    ASSERT_EQ(MeMenuFile::IsModified(), 1);
    MeMenuFile::Save();
    for (const char* f : {"QUORVEX.scn", "QUORVEX.map", "QUORVEX.mm"})
        EXPECT_TRUE(fs::exists(tree.file(std::string("SINGLE/A/") + f))) << f;
    EXPECT_NE(Read(Scn("A")).find("SetCredit(1234)"), std::string::npos);
    EXPECT_EQ(MeMenuFile::IsModified(), 0);
}

TEST_F(Folder, TheSaveQuestionSavesTheOpenScenarioUnderItsOwnName)
{
    MeMenuFile::Save();
    fs::create_directories(tree.file("SINGLE/B"));
    tree.write("SINGLE/B/QUORVEX.scn", "B's own");
    teamdata[1].credits = 777;
    // B picked in the list, then a quit key asks: Ok.
    g_MeEditor.scenarioName->Set("B");
    Clicker ok({"QueryScenarioSaveOk"});
    MeMenuFile::QuerySave();
    EXPECT_EQ(ok.clicked(), 1u);
    EXPECT_NE(Read(Scn("A")).find("SetCredit(777)"), std::string::npos);
    EXPECT_EQ(Read(Scn("B")), "B's own");
    EXPECT_STREQ(g_MeEditor.scenarioName->c_str(), "B") << "the pick is kept";
    EXPECT_EQ(MeMenuFile::IsModified(), 0);
    // Unmodified, or from the fixed category: no question at all.
    Clicker none({"QueryScenarioSaveOk"});
    MeMenuFile::QuerySave();
    teamdata[1].credits = 778;
    g_MeEditor.category = 0;
    MeMenuFile::QuerySave();
    EXPECT_EQ(none.clicked(), 0u);
}

TEST_F(Folder, AFailedWriteShowsAnErrorAndKeepsTheEditsUnsaved)
{
    // A folder stands where the scenario file goes.
    fs::create_directories(tree.file("SINGLE/A/QUORVEX.scn/keep"));
    teamdata[1].credits = 4321;
    Clicker ok({"ErrScenarioWriteOk"});
    MeMenuFile::Save();
    EXPECT_EQ(ok.clicked(), 1u);
    EXPECT_TRUE(fs::is_directory(tree.file("SINGLE/A/QUORVEX.scn/keep")));
    EXPECT_EQ(MeMenuFile::IsModified(), 1);
}

TEST_F(Folder, RefusalsAndQuestionsLeaveTheTreeAsItWas)
{
    MeMenuFile::Save();
    fs::create_directories(tree.file("SINGLE/B"));
    tree.write("SINGLE/B/QUORVEX.scn", "B's own");
    struct Row {
        const char* name;
        int category;
        const char* text;
        std::vector<std::string> clicks;
        void (*act)(void);
        const char* gone; // the folder that must be gone afterwards, or null
    } rows[] = {
        {"save in the fixed category", 0, "A", {"ErrFixedSaveOk"}, MeMenuFile::Save, nullptr},
        {"overwrite refused", 1, "B", {"QueryScenarioOverwriteCancel"}, MeMenuFile::Save, nullptr},
        {"delete refused", 1, "B", {"ScenarioQueryDeleteCancel"}, MeMenuFile::Delete, nullptr},
        {"delete of a missing folder", 1, "C", {}, MeMenuFile::Delete, nullptr},
        {"delete", 1, "B", {"ScenarioQueryDeleteOk"}, MeMenuFile::Delete, "B"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_MeEditor.category = row.category;
        Game_SetScenarioCategory(row.category ? row.category : 1);
        g_MeEditor.scenarioName->Set(row.text);
        Clicker c(row.clicks);
        row.act();
        EXPECT_EQ(c.clicked(), row.clicks.size());
        if (row.gone)
            EXPECT_FALSE(fs::exists(tree.file(std::string("SINGLE/") + row.gone)));
        else
            EXPECT_EQ(Read(Scn("B")), "B's own");
        EXPECT_TRUE(fs::exists(Scn("A")));
    }
}

TEST_F(Folder, CtrlSSavesAndAQuitKeyAsksFirst)
{
    g_GameState = GS_EDITOR;
    QIPointer p;
    teamdata[2].credits = 55;
    QIKey save{0, 31, 0, MOD_CTRL};
    MeDesktop::HandleEvent(&save, &p);
    EXPECT_NE(Read(Scn("A")).find("SetCredit(55)"), std::string::npos);
    teamdata[2].credits = 66;
    Clicker ok({"QueryScenarioSaveOk"});
    QIKey quit{0, 16, 0, MOD_LSHIFT};
    MeDesktop::HandleEvent(&quit, &p);
    EXPECT_EQ(ok.clicked(), 1u);
    EXPECT_NE(Read(Scn("A")).find("SetCredit(66)"), std::string::npos);
    EXPECT_EQ(g_GameState, GS_FRONTEND);
}

TEST_F(Folder, SavingTheOpenScenarioAsksNothingAndKeepsTheSelectedCategory)
{
    MeMenuFile::Save();
    fs::create_directories(tree.file("MULTI"));
    // The open scenario under its name in other letters; another category
    // chosen in the list meanwhile.
    Game_SetScenarioCategory(2);
    g_MeEditor.scenarioName->Set("a");
    teamdata[3].credits = 4242;
    Clicker none({"QueryScenarioOverwriteOk"});
    MeMenuFile::Save();
    EXPECT_EQ(none.clicked(), 0u);
    EXPECT_NE(Read(Scn("A")).find("SetCredit(4242)"), std::string::npos);
    EXPECT_EQ(g_ScenarioCategory, 2);
    EXPECT_TRUE(fs::is_empty(tree.file("MULTI")));
}

TEST_F(Folder, LaunchingAFixedScenarioNeverAsks)
{
    MeMenuFile::Save();
    teamdata[3].credits = 99;
    g_MeEditor.category = 0;
    Clicker none({"QueryScenarioSaveOk"});
    g_GameState = GS_EDITOR;
    MeMenuFile::OnLaunch(nullptr, QIN_CLICKED, 0);
    EXPECT_EQ(none.clicked(), 0u);
    EXPECT_EQ(g_GameState, GS_NEWGAME);
    EXPECT_EQ(g_ScenarioCategory, 0) << "the game plays from the open scenario's category";
}
