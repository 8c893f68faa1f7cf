// The File layer's folder operations: save, delete, and the save question.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <strings.h>

#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "editor/editor.h"
#include "editor/mefile.h"
#include "editor/meminimap.h"
#include "map/map.h"
#include "multi/mmsummary.h"
#include "rules/scenario.h"
#include "widgets/qidesktop.h"
#include "widgets/qilayer.h"

enum { MEFOLDER_TEXT = 256, MEFOLDER_OK = 23 };

static const char* NameText(void)
{
    return g_MeEditor.scenarioName ? g_MeEditor.scenarioName->c_str() : "";
}

static void ClosePanel(QIPopup* pop)
{
    if (pop && g_MeEditor.desktop) g_MeEditor.desktop->ClosePopup(pop);
}

// A panel shown while the work it names runs; null without a desktop.
static QIPopup* Panel(const char* id, const char* title, const char* key, const char* format, const char* name)
{
    if (!g_MeEditor.desktop) return nullptr;
    char text[MEFOLDER_TEXT];
    MeMenuFile::FormatText(text, key, format, name);
    return MeMenuFile::MessageBox(id, title, text, 1);
}

static bool FolderPath(char* out, const char* folder)
{
    return Utils_MakePath(out, g_ScenarioCategoryDir, folder, "", "", "") != 0;
}

// The three files in the order the reader wants them; stops at the first
// that fails.
static bool WriteScenario(void)
{
    if (!Scenario_Save()) return false;
    if (!Map_Save(g_ScenarioMapPath)) return false;
    const BITMAP* picture = g_MeEditor.miniMap ? &g_MeEditor.miniMap->composite : nullptr;
    return Mm_Save(g_ScenarioMmPath, picture) != 0;
}

void MeMenuFile::Save(void)
{
    MeEditor& me = g_MeEditor;
    if (!(me.flags & MEF_OPEN)) return;
    if (me.category == 0) {
        ErrorBox("ErrFixedSave", "Fixed scenarios cannot be modified!");
        return;
    }
    const int selected = g_ScenarioCategory;
    if (selected != me.category) Game_SetScenarioCategory(me.category);
    // The text may change under the boxes below: work on a copy.
    const std::string name = NameText();
    bool go = true;
    if (!me.ScenarioExists(name.c_str())) {
        Game_SetScenarioName(name.c_str());
        char path[GAME_PATH];
        const bool made = FolderPath(path, name.c_str()) && mkdir(Fs_Resolve(path).c_str(), 0755) == 0;
        if (!made) {
            ErrorBox("ErrCreatingDir", "Directory %s cannot be created.", path);
            go = false;
        }
    } else if (strcasecmp(name.c_str(), g_ScenarioName) != 0) {
        go = QueryBox("QueryScenarioOverwrite", "Scenario %s already exists. Overwrite it?", name.c_str()) ==
             MEFOLDER_OK;
        if (go) Game_SetScenarioName(name.c_str());
    }
    if (!go) {
        if (selected != me.category) Game_SetScenarioCategory(selected);
        return;
    }
    QIPopup* panel = Panel("ScenarioSaving", "Saving Scenario", "ScenarioSavingDesc", "Writing %s .. Please Wait.",
                           name.c_str());
    const bool written = WriteScenario();
    if (selected != me.category) Game_SetScenarioCategory(selected);
    me.ListScenarios();
    ClosePanel(panel);
    // A failed write keeps the baseline: the edits are still unsaved.
    if (written)
        StoreBaseline();
    else
        ErrorBox("ErrScenarioWrite", "Scenario %s could not be written.", name.c_str());
    if (me.desktop) me.desktop->Repaint(nullptr);
}

void MeMenuFile::QuerySave(void)
{
    MeEditor& me = g_MeEditor;
    if (!(me.flags & MEF_OPEN) || me.category == 0 || !IsModified()) return;
    if (QueryBox("QueryScenarioSave", "Save scenario %s ?", g_ScenarioName) != MEFOLDER_OK) return;
    // Save acts on the name text, which a pick in the list may have changed:
    // the open scenario goes into its own folder, and the pick is kept.
    if (!me.scenarioName) return;
    const std::string picked = me.scenarioName->c_str();
    me.scenarioName->Set(g_ScenarioName);
    Save();
    me.scenarioName->Set(picked.c_str());
}

void MeMenuFile::Delete(void)
{
    MeEditor& me = g_MeEditor;
    const std::string name = NameText();
    if (!me.ScenarioExists(name.c_str())) return;
    if (g_ScenarioCategory == 0) {
        ErrorBox("ErrFixedDelete", "Fixed scenarios cannot be deleted!");
        return;
    }
    if (!me.desktop) return;
    char text[MEFOLDER_TEXT];
    FormatText(text, "ScenarioQueryDeleteDesc", "Delete Scenario %s ?", name.c_str());
    QIPopup* ask = MessageBox("ScenarioQueryDelete", "Delete Scenario", text, 0);
    AddOkCancel(ask, "ScenarioQueryDelete");
    if (RunModal(ask) != MEFOLDER_OK) return;
    QIPopup* panel =
        Panel("ScenarioDelete", "Delete Scenario", "ScenarioDeleteDesc", "Deleting Scenario .. %s", name.c_str());
    char path[GAME_PATH];
    if (FolderPath(path, name.c_str())) Utils_DeleteTree(path);
    me.ListScenarios();
    ClosePanel(panel);
    me.desktop->Repaint(nullptr);
}
