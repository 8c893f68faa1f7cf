// The File layer's folder operations: load, create, save, delete, the save
// question and leaving the editor.
//
// A save writes more than the scenario's three files: saved under a new
// name it carries the other files of the folder it came from (its own end
// conditions, state machines, briefing), and saved over another scenario
// the old one's files that the saved one would read in place of its own or
// the shared ones go with the same all-or-nothing step (a stale state
// machine left there would shadow the shared one and play another game).
// Any other file there is the map maker's (notes, an end condition nothing
// names): it stays, named in a warning, also when the folder saved from
// holds a file of the same name (that one is not carried over it).
// Subfolders are neither copied nor taken out; the log names them.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>
#include <strings.h>

#include "ai/ai.h"
#include "core/config.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tfparse.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "editor/editor.h"
#include "editor/mebigmap.h"
#include "editor/mefile.h"
#include "editor/meminimap.h"
#include "editor/meorders.h"
#include "editor/mestats.h"
#include "editor/meterrain.h"
#include "map/fog.h"
#include "map/mapview.h"
#include "map/overlay.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "units/mpteams.h"
#include "units/prereq.h"
#include "units/team.h"
#include "widgets/qiedit.h"
#include "widgets/qistatic.h"
#include "map/map.h"
#include "multi/mmsummary.h"
#include "platform/font.h"
#include "rules/endcond.h"
#include "rules/scenario.h"
#include "widgets/qidesktop.h"
#include "widgets/qilayer.h"

namespace fs = std::filesystem;

enum {
    MEFOLDER_TEXT = 256,
    MEFOLDER_OK = 23,
    MEFOLDER_CANCEL = 24,
    MEFOLDER_STEPS = 17,
    MEFOLDER_MINSIDE = 20,
    MEFOLDER_MAXSIDE = 500,
    MEFOLDER_NAMECHARS = 8,
    MEFOLDER_SIDECHARS = 4,
};

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

namespace {

// A scenario's files are written beside their places first and put in place
// together once all are written: a save that fails half-way gives back
// what the files already put in place replaced, so the folder is either
// the whole new scenario or as it was.
class FolderWrite {
public:
    ~FolderWrite()
    {
        for (const Entry& f : files_)
            if (!f.aside) unlink(f.staged.c_str());
    }
    // Where the file for path is to be written before it goes in place.
    std::string Stage(const char* path)
    {
        Entry f;
        f.named = Fs_Resolve(path);
        f.target = Fs_WriteTarget(path);
        f.staged = f.target.empty() ? std::string() : f.target + ".saving";
        files_.push_back(f);
        return f.staged;
    }
    // The file at path (resolved) is taken out by the commit: kept aside
    // under another name, put back if the commit fails, removed once it
    // has succeeded. Taken out first, so that a file that can't be put in
    // place afterwards brings it back.
    void SetAside(const std::string& path)
    {
        Entry f;
        f.named = f.target = path;
        f.aside = true;
        files_.insert(files_.begin(), f);
    }
    // Whether a staged file is written at path (resolved) or goes there.
    bool Writes(const std::string& path) const
    {
        for (const Entry& f : files_)
            if (!f.aside && (f.named == path || f.target == path || f.staged == path)) return true;
        return false;
    }
    // Every staged file over its target, in the order staged; false, and
    // every target as it was, when one can't be: the step and the file that
    // failed are logged, and each file that can't be put back is named with
    // the name it is kept under. The files taken out are logged once the
    // commit has succeeded.
    bool Commit(void)
    {
        size_t done = 0;
        bool ok = true;
        for (; done < files_.size() && ok; done++) ok = Place(&files_[done]);
        if (ok) {
            for (const Entry& f : files_) {
                if (f.had) unlink(f.kept.c_str());
                if (f.aside)
                    TLOG(TLOG_SAVE, "Scenario folder [%s]: [%s], which the saved scenario would read, is taken out",
                         fs::path(f.target).parent_path().c_str(), fs::path(f.target).filename().c_str());
            }
            return true;
        }
        // The one that failed put nothing in place.
        for (size_t i = done - 1; i-- > 0;) {
            const Entry& f = files_[i];
            if (f.had ? rename(f.kept.c_str(), f.target.c_str()) == 0
                      : unlink(f.target.c_str()) == 0 || errno == ENOENT)
                continue;
            const int err = errno;
            if (f.had)
                TLOG(TLOG_ERROR, "Scenario save: [%s] could not be put back: %s; it is kept as [%s]", f.target.c_str(),
                     strerror(err), f.kept.c_str());
            else
                TLOG(TLOG_ERROR, "Scenario save: the new [%s] could not be taken away again: %s", f.target.c_str(),
                     strerror(err));
        }
        TLOG(TLOG_ERROR, "Scenario save: nothing of it was kept");
        return false;
    }

private:
    struct Entry {
        std::string named, target, staged, kept;
        bool had = false, aside = false;
    };
    // A name beside the file that no file has: the folder's own files may
    // end in ".previous" too.
    static bool SetAsideOne(Entry* f)
    {
        struct stat st;
        f->kept = f->target + ".previous";
        for (int n = 1; lstat(f->kept.c_str(), &st) == 0; n++) f->kept = f->target + ".previous" + std::to_string(n);
        f->had = rename(f->target.c_str(), f->kept.c_str()) == 0;
        if (!f->had)
            TLOG(TLOG_ERROR, "Scenario save: [%s] could not be taken out (set aside as [%s]): %s", f->target.c_str(),
                 f->kept.c_str(), strerror(errno));
        return f->had;
    }
    static bool Place(Entry* f)
    {
        if (f->aside) return SetAsideOne(f);
        if (f->target.empty()) {
            TLOG(TLOG_ERROR, "Scenario save: [%s] could not be put in place: its links lead nowhere", f->named.c_str());
            return false;
        }
        struct stat st;
        if (lstat(f->target.c_str(), &st) == 0) {
            // The file in place stays there, linked under a second name,
            // until the new one has replaced it: kept to be put back.
            if (!S_ISREG(st.st_mode)) {
                TLOG(TLOG_ERROR, "Scenario save: [%s] could not be replaced: it is %s", f->target.c_str(),
                     Fs_KindOf(st.st_mode));
                return false;
            }
            f->kept = f->target + ".previous";
            unlink(f->kept.c_str());
            if (link(f->target.c_str(), f->kept.c_str()) != 0) {
                TLOG(TLOG_ERROR, "Scenario save: [%s] could not be kept as [%s] while it is replaced: %s",
                     f->target.c_str(), f->kept.c_str(), strerror(errno));
                return false;
            }
            f->had = true;
            chmod(f->staged.c_str(), st.st_mode & 07777);
        }
        if (rename(f->staged.c_str(), f->target.c_str()) == 0) return true;
        TLOG(TLOG_ERROR, "Scenario save: [%s] could not be put in place as [%s]: %s", f->staged.c_str(),
             f->target.c_str(), strerror(errno));
        if (f->had) unlink(f->kept.c_str());
        f->had = false;
        return false;
    }
    std::vector<Entry> files_;
};

bool IsScenarioFile(const std::string& name)
{
    for (const char* own : {"QUORVEX.scn", "QUORVEX.map", "QUORVEX.mm"})
        if (strcasecmp(name.c_str(), own) == 0) return true;
    return false;
}

// Whether the name is among the files the saved scenario reads (as the
// readers find them, without regard to case).
bool Reads(const std::vector<std::string>& read, const std::string& name)
{
    for (const std::string& r : read)
        if (strcasecmp(r.c_str(), name.c_str()) == 0) return true;
    return false;
}

// The other files of the folder from (end conditions, state machines, the
// briefing) staged for the current scenario's folder, which a scenario
// saved under a new name reads them from. Saved over another scenario
// (read, the files the saved one reads, given), a file the saved scenario
// doesn't read never replaces the one of that name already there: it is
// left out and *own names it. Nothing when from is that folder or no longer
// exists; false when one can't be read (*unreadable names it) or staged.
bool CarryFolder(FolderWrite* out, const std::string& from, std::string* unreadable,
                 const std::vector<std::string>* read, std::vector<std::string>* own)
{
    std::error_code ec, walk;
    const std::string to = Fs_Resolve(g_ScenarioDir);
    if (!fs::is_directory(from, ec) || fs::equivalent(from, to, ec)) return true;
    // Stepped with an error code: the range loop's step throws.
    for (fs::directory_iterator it(from, walk), end; !walk && it != end; it.increment(walk)) {
        const fs::directory_entry& e = *it;
        const std::string name = e.path().filename().string();
        if (e.is_directory(ec)) {
            TLOG(TLOG_WARNING, "Folder [%s] of scenario folder [%s] is not copied to [%s]", name.c_str(),
                 from.c_str(), to.c_str());
            continue;
        }
        if (!e.is_regular_file(ec) || IsScenarioFile(name)) continue;
        char path[GAME_PATH];
        std::string bytes;
        if (!Utils_MakePath(path, g_ScenarioDir, "", "", name.c_str(), "")) return false;
        struct stat st;
        if (read && !Reads(*read, name) && lstat(Fs_Resolve(path).c_str(), &st) == 0) {
            own->push_back(fs::path(Fs_Resolve(path)).filename().string());
            continue;
        }
        if (!Fs_ReadAll(e.path().c_str(), &bytes)) {
            *unreadable = e.path().string();
            return false;
        }
        const std::string staged = out->Stage(path);
        if (staged.empty() || !Fs_WriteAtomic(staged.c_str(), bytes.data(), bytes.size())) return false;
    }
    return !walk;
}

// The plans that the states of a condition file name.
void AddPlans(const std::string& text, const std::string& name, std::vector<std::string>* names)
{
    std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> p(TF_OpenText(name.c_str(), text.data(), text.size()), TF_Close);
    char token[TF_FIELD];
    while (p && TF_GetToken(p.get(), token, sizeof token))
        if (strcmp(token, "SetAIPFile") == 0 && TF_GetToken(p.get(), token, sizeof token) && strcmp(token, "(") == 0 &&
            TF_GetToken(p.get(), token, sizeof token))
            names->push_back(token);
}

// What the current scenario, saved, reads from its folder besides its own
// three files (as the readers find them, without regard to case): the
// briefings, the rule and message files, each team's end-condition file and
// state machines (those it names, else its side's default ones), and the
// plans that their states name, read from the copy carried from the folder
// from or else the shared one.
std::vector<std::string> FilesRead(const std::string& from)
{
    std::vector<std::string> names = {"quorvex.brf", std::string(g_ScenarioName) + ".txt", "gamemsg.txt"};
    for (const auto& file : g_Config.deffiles) names.push_back(file);
    std::vector<std::string> trees;
    for (int team = 0; team < TEAM_MAXTEAMS; team++) {
        if (const char* end = Endcond_GetEndCondFile(team)) trees.push_back(end);
        const int side = teamdata[team].side;
        for (int v = 0; v < AI_MAX_FSMS; v++) {
            char def[TF_FIELD];
            snprintf(def, sizeof def, "Def_%02d_%d.FSM", side < 0 || side > 3 ? 0 : side, v);
            const char* fsm = AI_GetFsmFilename(team, v);
            trees.push_back(fsm ? fsm : def);
        }
    }
    for (const std::string& tree : trees) {
        names.push_back(tree);
        std::string text;
        char shared[UTILS_PATH];
        if (Fs_ReadAll((from + "/" + tree).c_str(), &text) ||
            (Utils_FindSharedDataFile(shared, tree.c_str()) && Fs_ReadAll(shared, &text)))
            AddPlans(text, tree, &names);
    }
    return names;
}

// Saved over another scenario: every file of its folder that the saved
// scenario would read (read) and nothing staged replaces goes with the
// commit; any other file stays (*kept names them), and so do its
// subfolders, named in the log. False when the folder can't be read through.
bool ReplaceFolder(FolderWrite* out, const std::vector<std::string>& read, std::vector<std::string>* kept)
{
    std::error_code ec, walk;
    const std::string to = Fs_Resolve(g_ScenarioDir);
    for (fs::directory_iterator it(to, walk), end; !walk && it != end; it.increment(walk)) {
        const fs::directory_entry& e = *it;
        const std::string path = e.path().string(), name = e.path().filename().string();
        if (e.is_directory(ec)) {
            TLOG(TLOG_WARNING, "Scenario folder [%s] keeps its folder [%s]: a save over it replaces its files only",
                 to.c_str(), name.c_str());
        } else if (e.is_regular_file(ec) && !IsScenarioFile(name) && !out->Writes(path)) {
            if (Reads(read, name))
                out->SetAside(path);
            else
                kept->push_back(name);
        }
    }
    return !walk;
}

} // namespace

// The three files in the order the reader wants them, the folder's other
// files when the scenario came from another folder, and over another
// scenario (replace) the old one's files taken out; all or none.
static bool WriteScenario(const std::string& from, bool replace, std::string* unreadable)
{
    FolderWrite out;
    const BITMAP* picture = g_MeEditor.miniMap ? &g_MeEditor.miniMap->composite : nullptr;
    std::string staged;
    std::vector<std::string> kept, own;
    const std::vector<std::string> read = replace ? FilesRead(from) : std::vector<std::string>();
    const bool written = !(staged = out.Stage(g_ScenarioScnPath)).empty() && Scenario_SaveTo(staged.c_str()) &&
                         !(staged = out.Stage(g_ScenarioMapPath)).empty() && Map_Save(staged.c_str()) &&
                         !(staged = out.Stage(g_ScenarioMmPath)).empty() && Mm_Save(staged.c_str(), picture) &&
                         CarryFolder(&out, from, unreadable, replace ? &read : nullptr, &own) &&
                         (!replace || ReplaceFolder(&out, read, &kept)) && out.Commit();
    if (written)
        for (const std::string& name : kept) {
            const bool shadowed = std::find(own.begin(), own.end(), name) != own.end();
            TLOG(TLOG_WARNING, "Scenario folder [%s] keeps [%s]: the saved scenario doesn't read it%s%s%s",
                 Fs_Resolve(g_ScenarioDir).c_str(), name.c_str(), shadowed ? " (the one of [" : "",
                 shadowed ? from.c_str() : "", shadowed ? "] is not carried over it)" : "");
        }
    return written;
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
    // The folder the open scenario came from, and its name: a failed save
    // goes back to them.
    const std::string from = Fs_Resolve(g_ScenarioDir), fromName = g_ScenarioName;
    std::string madeFolder;
    bool go = true, replace = false;
    if (name.empty()) {
        ErrorBox("ErrScenarioNoName", "A scenario needs a name.");
        go = false;
    } else if (!me.ScenarioExists(name.c_str())) {
        char path[GAME_PATH];
        const bool made = FolderPath(path, name.c_str()) && mkdir(Fs_Resolve(path).c_str(), 0755) == 0;
        // The open scenario keeps its own name until it has a folder under
        // the new one: else Launch and the next save would look for a
        // folder that was never made.
        if (made) {
            madeFolder = Fs_Resolve(path);
            Game_SetScenarioName(name.c_str());
        } else {
            ErrorBox("ErrCreatingDir", "Directory %s cannot be created.", Fs_Resolve(path).c_str());
            go = false;
        }
    } else if (strcasecmp(name.c_str(), g_ScenarioName) != 0) {
        go = QueryBox("QueryScenarioOverwrite", "Scenario %s already exists. Overwrite it?", name.c_str()) ==
             MEFOLDER_OK;
        if (go) Game_SetScenarioName(name.c_str());
        replace = go;
    }
    if (!go) {
        if (selected != me.category) Game_SetScenarioCategory(selected);
        return;
    }
    QIPopup* panel = Panel("ScenarioSaving", "Saving Scenario", "ScenarioSavingDesc", "Writing %s .. Please Wait.",
                           name.c_str());
    std::string unreadable;
    const bool written = WriteScenario(from, replace, &unreadable);
    if (!written) {
        // Nothing was put in place: the folder made for the save goes, and
        // the scenario is again the one it was, its edits unsaved.
        if (!madeFolder.empty()) rmdir(madeFolder.c_str());
        Game_SetScenarioName(fromName.c_str());
    }
    if (selected != me.category) Game_SetScenarioCategory(selected);
    me.ListScenarios();
    ClosePanel(panel);
    // A failed write keeps the baseline: the edits are still unsaved.
    if (written) {
        StoreBaseline();
    } else if (!unreadable.empty()) {
        // The box names the file alone: its whole path is in the log.
        TLOG(TLOG_ERROR, "Scenario %s could not be written: [%s] cannot be read", name.c_str(), unreadable.c_str());
        ErrorBox("ErrScenarioCopy", "Scenario %s could not be written: %s cannot be read.", name.c_str(),
                 fs::path(unreadable).filename().c_str());
    } else {
        ErrorBox("ErrScenarioWrite", "Scenario %s could not be written.", name.c_str());
    }
    if (me.desktop) me.desktop->Repaint(nullptr);
}

bool MeMenuFile::QuerySave(void)
{
    MeEditor& me = g_MeEditor;
    if (!(me.flags & MEF_OPEN) || me.category == 0 || !IsModified()) return true;
    const int answer = QueryBox("QueryScenarioSave", "Save scenario %s ?", g_ScenarioName);
    if (answer != MEFOLDER_OK) {
        // A close request that ended the question unanswered: the close
        // asks again as its own, and that question waits for Ok or Cancel.
        if (answer != MEFOLDER_CANCEL && (Plat_QuitSeen() || g_QuitRequested)) return false;
        return true;
    }
    // Save acts on the name text, which a pick in the list may have changed:
    // the open scenario goes into its own folder, and the pick is kept.
    if (!me.scenarioName) return false;
    const std::string picked = me.scenarioName->c_str();
    me.scenarioName->Set(g_ScenarioName);
    Save();
    me.scenarioName->Set(picked.c_str());
    // A save that was refused or failed keeps the edits unsaved.
    return !IsModified();
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

// Everything of the game that a load or create replaces, closed.
static void CloseScenario(void)
{
    MeBigMap::ForgetFrame();
    if (g_MeEditor.miniMap) g_MeEditor.miniMap->Free();
    PREREQ_Done();
    MapEditor_CloseSystems();
}

// The common systems back, empty (alliances on again whatever a game left),
// with the tools off the old map. The game resets its multiplayer teams in
// its specifics, which the editor never runs.
static void ReopenSystems(void)
{
    MapEditor_InitSystems();
    g_MeEditor.CloseTools();
    MpTeams_Reset();
}

// The tail that load and create share, once the scenario is read.
static void OpenScenario(void)
{
    MeEditor& me = g_MeEditor;
    PREREQ_Init();
    Fog_SetSeeAll(1);
    MeMenuFile::CloseWaitPanel();
    me.flags |= MEF_OPEN | MEF_DRAWMAP;
    Ovl_DisplayAll();
    Display_ApplyPalette();
    me.OpenTools();
    me.RefreshAll();
    Mouse_FlushEvents();
    MeStats::Recount();
    if (me.miniMap) me.miniMap->Create();
}

static void Settle(int x, int y)
{
    MeEditor& me = g_MeEditor;
    MeTerrain::SetZoom(1);
    MeTerrain::InitZoom();
    MeBigMap::Centre(x, y);
    MeMenuFile::StoreBaseline();
    me.category = g_ScenarioCategory;
    MeOrders::Reset();
    if (me.desktop) me.desktop->Repaint(nullptr);
}

static void OpenWaitPanel(const char* id, const char* title, const char* key, const char* format, const char* name)
{
    char text[MEFOLDER_TEXT];
    MeMenuFile::FormatText(text, key, format, name);
    MeMenuFile::ShowWaitPanel(MEFOLDER_STEPS, id, title, text);
}

void MeMenuFile::Load(void)
{
    MeEditor& me = g_MeEditor;
    const std::string name = NameText();
    if (!me.ScenarioExists(name.c_str())) return;
    OpenWaitPanel("ScenarioLoading", "Loading Scenario", "ScenarioLoadingDesc", "Loading %s .. Please Wait.",
              name.c_str());
    CloseScenario();
    Game_SetScenarioName(name.c_str());
    ReopenSystems();
    char why[GAME_PATH + 320];
    if (!Scenario_TryLoad(LoadProgress, why, sizeof why)) {
        // What the broken file let through goes; the old scenario is closed
        // already, so the editor stays without one, as after a failed create.
        TLOG(TLOG_ERROR, "Scenario [%s] not loaded: %s", name.c_str(), why);
        // The box names the folder's files by name alone: whole paths made
        // it wider than the screen, its Ok out of reach.
        std::string shown = why;
        char folderPath[GAME_PATH];
        if (FolderPath(folderPath, name.c_str())) {
            const std::string prefix = Fs_Resolve(folderPath) + "/";
            for (size_t at; (at = shown.find(prefix)) != std::string::npos;) shown.erase(at, prefix.size());
        }
        CloseWaitPanel();
        CloseScenario();
        ReopenSystems();
        me.flags &= ~MEF_OPEN;
        ErrorBox("ErrScenarioLoad", "Scenario %s not loaded: %s", name.c_str(), shown.c_str());
        if (me.desktop) me.desktop->Repaint(nullptr);
        return;
    }
    OpenScenario();
    Settle(g_MapView.x, g_MapView.y);
}

int MeMenuFile::ClampSide(const char* typed)
{
    long v = 0;
    // Decimal digits only; what follows the first other character is not read.
    for (const char* p = typed ? typed : ""; *p >= '0' && *p <= '9'; p++) {
        v = v * 10 + (*p - '0');
        if (v > MEFOLDER_MAXSIDE) return MEFOLDER_MAXSIDE;
    }
    return v < MEFOLDER_MINSIDE ? MEFOLDER_MINSIDE : (int)v;
}

// The create dialog; false unless Ok. The name edit works on the scenario
// name text itself.
static bool AskNewScenario(char* width, char* height)
{
    MeEditor& me = g_MeEditor;
    if (!me.desktop || !me.scenarioName) return false;
    const QIFont* font = me.fontB ? &me.fontB->font : nullptr;
    const int line = font ? Font_GetHeight(font->slot) : 10;
    QIPopup* pop = new QIPopup("ScenarioCreate", nullptr, IPoint(220, 150), font, "Create Scenario");
    QIWidget::AddChild(me.backdrop, pop);
    struct ROW {
        const char *label, *text, *edit;
    } rows[3] = {{"ScenarioCreateName", "Name:", "ScenarioCreateNameEdit"},
                 {"ScenarioCreateWidth", "Map Width:", "ScenarioCreateWidthEdit"},
                 {"ScenarioCreateHeight", "Map Height:", "ScenarioCreateHeightEdit"}};
    for (int i = 0; i < 3; i++) {
        const int y = pop->y + QIPOPUP_BORDER + line + 8 + i * (line + 10);
        QIWidget::AddChild(pop, new QIStatic(rows[i].label, nullptr, IRect(pop->x + 16, y + 3, 80, line), rows[i].text,
                                             font, QIJ_LEFT));
        const IRect box(pop->x + 100, y, 100, line + 6);
        QIEdit* edit;
        if (i == 0)
            edit = new QIEdit(rows[i].edit, nullptr, box, IPoint(4, 3), QIEJ_LEFT, me.scenarioName,
                              QIEC_LETTERS | QIEC_DIGITS, 0, MEFOLDER_NAMECHARS, g_MeColours[0], font);
        else
            edit = new QIEdit(rows[i].edit, nullptr, box, IPoint(4, 3), QIEJ_LEFT, i == 1 ? width : height,
                              QIEC_DIGITS, 0, MEFOLDER_SIDECHARS, g_MeColours[0], font);
        QIWidget::AddChild(pop, edit);
    }
    MeMenuFile::AddOkCancel(pop, "ScenarioCreate");
    return MeMenuFile::RunModal(pop) == MEFOLDER_OK;
}

void MeMenuFile::Create(void)
{
    if (g_ScenarioCategory == 0) {
        ErrorBox("ErrFixedCreate", "Fixed scenarios cannot be created!");
        return;
    }
    char width[MEFOLDER_SIDECHARS + 1], height[MEFOLDER_SIDECHARS + 1];
    snprintf(width, sizeof width, "%d", mapsizex);
    snprintf(height, sizeof height, "%d", mapsizey);
    if (!AskNewScenario(width, height)) return;
    CreateNamed(NameText(), ClampSide(width), ClampSide(height));
}

void MeMenuFile::CreateNamed(const char* folder, int w, int h)
{
    MeEditor& me = g_MeEditor;
    const std::string name = folder ? folder : "";
    // An empty name would make the category folder itself the scenario's.
    if (name.empty()) {
        ErrorBox("ErrScenarioNoName", "A scenario needs a name.");
        return;
    }
    if (me.ScenarioExists(name.c_str())) {
        ErrorBox("ErrScenarioExists", "Scenario %s already exists.", name.c_str());
        return;
    }
    char path[GAME_PATH];
    if (!FolderPath(path, name.c_str()) || mkdir(Fs_Resolve(path).c_str(), 0755) != 0) {
        ErrorBox("ErrCreatingDir", "Directory %s cannot be created.", Fs_Resolve(path).c_str());
        return;
    }
    OpenWaitPanel("ScenarioCreating", "Creating Scenario", "ScenarioCreatingDesc", "Creating %s .. Please Wait.",
              name.c_str());
    CloseScenario();
    // The new map is painted as the terrain brush stands.
    g_NewMapRequest = MAP_NEWREQUEST{1, w, h, me.terrainBrush.NewMapAltitude(), me.terrainBrush.cornerType};
    Game_SetScenarioName(name.c_str());
    Game_SetTerrainName("BARREN");
    // The teams go into the new scenario as they stand; a start position
    // the smaller map no longer holds would put a player off the map.
    for (TEAM_DATA& t : teamdata)
        if (t.startpos.x >= w * MAP_TILE_PIXELS || t.startpos.y >= h * MAP_TILE_PIXELS) t.startpos = {-1, -1};
    const int written = Scenario_Save();
    ReopenSystems();
    if (!written) {
        // Nothing to read back: the old scenario is closed and no new one
        // exists, so the editor stays without one.
        g_NewMapRequest.flag = 0;
        CloseWaitPanel();
        me.flags &= ~MEF_OPEN;
        ErrorBox("ErrScenarioWrite", "Scenario %s could not be written.", name.c_str());
        if (me.desktop) me.desktop->Repaint(nullptr);
        return;
    }
    Scenario_Load(LoadProgress);
    Map_Save(g_ScenarioMapPath);
    OpenScenario();
    me.ListScenarios();
    Settle(0, 0);
}

// ---------------------------------------------------------------- leaving

bool MeMenuFile::Leave(int state)
{
    MeEditor& me = g_MeEditor;
    if (!QuerySave()) return false;
    if (me.desktop) {
        me.desktop->exitCode = 0;
        me.desktop->dflags &= ~QID_RUNNING;
    }
    if (state == GS_NEWGAME) Game_SetScenarioCategory(me.category);
    g_GameState = state;
    return true;
}

bool MeMenuFile::LeaveOnClose(void)
{
    MeEditor& me = g_MeEditor;
    if (!Plat_QuitSeen() && !g_QuitRequested) return true;
    // A leave chosen before the close came has had its question.
    if (g_GameState != GS_EDITOR || !me.desktop) {
        g_GameState = GS_QUIT;
        return true;
    }
    // The question runs the desktop's loop, which a posted close would end
    // at once.
    Plat_ClearQuit();
    g_QuitRequested = 0;
    me.desktop->dflags |= QID_RUNNING;
    me.flags |= MEF_CLOSING;
    const bool left = Leave(GS_QUIT);
    me.flags &= ~MEF_CLOSING;
    if (!left) return false;
    Plat_PostQuit();
    g_QuitRequested = 1;
    return true;
}

int MeMenuFile::OnLaunch(QIWidget*, int event, QIARG)
{
    if (event == QIN_CLICKED && (g_MeEditor.flags & MEF_OPEN)) Leave(GS_NEWGAME);
    return event;
}

int MeMenuFile::OnMenu(QIWidget*, int event, QIARG)
{
    if (event == QIN_CLICKED) Leave(GS_FRONTEND);
    return event;
}

int MeMenuFile::OnQuit(QIWidget*, int event, QIARG)
{
    if (event == QIN_CLICKED) Leave(GS_QUIT);
    return event;
}
