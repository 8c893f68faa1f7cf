// The staging page's map chooser "SelectMap".
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "multi/mmchat.h"
#include "multi/mmframe.h"
#include "multi/mmsummary.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qidroplist.h"
#include "widgets/qilayer.h"
#include "widgets/qislider.h"

namespace {

struct CHOOSER {
    QIList* list = nullptr;
    QIStatic* size = nullptr;
    QIStatic* players = nullptr;
    QIStatic* type = nullptr;
    std::string picked; // the selected folder, kept past the pop-up's end
};
CHOOSER s_chooser;

const QIFont* Font(int slot) { return &MM_menu.fonts[slot]; }

// Folder names longer than this don't fit the settings block's scenario
// field: guests would look for a cut name.
constexpr size_t kNameMax = NET_SCENARIO_SIZE - 1;

std::string Recased(const char* name)
{
    std::string s = name;
    for (size_t i = 0; i < s.size(); i++) {
        const unsigned char ch = (unsigned char)s[i];
        s[i] = (char)(i == 0 ? toupper(ch) : tolower(ch));
    }
    return s;
}

QIStatic* Label(QIPopup* pop, const char* name, const char* def, int x, int y, int w, int just)
{
    QIString text;
    QI_PlainText(name, &text, def);
    QIStatic* s = new QIStatic(name, nullptr, IRect(pop->x + x, pop->y + y, w, 16), text.c_str(), Font(MM_FONT_TEXT),
                               just);
    QIWidget::AddChild(pop, s);
    return s;
}

QIButton* Button(QIPopup* pop, const char* name, const char* label, int x, int y)
{
    const QIImage face("pop_map.bmp", IRect(x, y, 150, 30), 0);
    return new QIButton(name, nullptr, IRect(pop->x + x, pop->y + y, 150, 30), face, face, face, face, label,
                        Font(MM_FONT_LABEL), Font(MM_FONT_LABELO), Font(MM_FONT_LABELG));
}

} // namespace

int MM_chat_list_maps(const char* dir, std::vector<std::string>* names)
{
    names->clear();
    const std::string where = Fs_Resolve(dir);
    DIR* d = opendir(where.c_str());
    if (!d) return 0;
    while (struct dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (!strcmp(n, ".") || !strcmp(n, "..")) continue;
        struct stat st;
        if (lstat((where + "/" + n).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        char scn[GAME_PATH * 2 + 300];
        snprintf(scn, sizeof scn, "%s\\%s\\QUORVEX.scn", dir, n);
        if (!Fs_Exists(scn)) continue;
        if (strlen(n) > kNameMax) {
            TLOG(TLOG_WARNING, "Map folder [%s] in [%s] has a name longer than %d characters: not listed", n, dir,
                 (int)kNameMax);
            continue;
        }
        names->push_back(Recased(n));
    }
    closedir(d);
    std::sort(names->begin(), names->end()); // the same list on every file system
    return 1;
}

int MM_chat_map_row_text(QIWidget* widget, int code, QIARG)
{
    if (code != QIN_CHANGED) return 0;
    QIList* list = dynamic_cast<QIList*>(widget);
    const QITextItem* item = list ? dynamic_cast<const QITextItem*>(list->ItemAt(list->current)) : nullptr;
    if (!item) return 0;
    s_chooser.picked = item->text.c_str();
    char path[GAME_PATH * 2 + 40];
    snprintf(path, sizeof path, "%s\\%s\\QUORVEX.mm", g_ScenarioCategoryDir, s_chooser.picked.c_str());
    MULTI_scenario m;
    char size[26] = "", players[26] = "", type[26] = "";
    // A summary that can't be read shows no details rather than wrong ones.
    if (Mm_Browse(&m, path)) {
        snprintf(size, sizeof size, "%d x %d", m.size_x, m.size_y);
        snprintf(players, sizeof players, "%d", m.team_count);
        snprintf(type, sizeof type, "normal");
    }
    for (auto [field, text] : {std::pair{s_chooser.size, size}, {s_chooser.players, players}, {s_chooser.type, type}}) {
        if (!field) continue;
        field->SetText(text);
        // Drawn again over the pop-up's picture, or a shorter text leaves
        // the end of the longer one.
        if (MM_menu.desktop && MM_menu.desktop->palette) MM_menu.desktop->Repaint(field);
    }
    return 0;
}

int MM_chat_select_map(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED || !MM_menu.desktop) return 0;
    MM_CHAT& c = MM_chat;
    Game_SetScenarioCategory(c.game_type ? SC_CAMPAIGN : SC_MULTI);
    std::vector<std::string> names;
    if (!MM_chat_list_maps(g_ScenarioCategoryDir, &names))
        Error_Fatal(ERRC_OPENFILE, "Cannot open directory %s", g_ScenarioCategoryDir);
    QIPopup* pop = new QIPopup("SelectMap", nullptr, IPoint(400, 259), QIImage("pop_map.bmp", IRect(0, 0, 400, 259), 0));
    Label(pop, "ChatSelectMapAvailmaps", "SELECT MAP", 0, 4, 400, QIJ_CENTRE);
    Label(pop, "ChatSelectMapAvailmaps", "Available Maps", 20, 28, 200, QIJ_LEFT);
    Label(pop, "ChatSelectMapMapSize", "Map Size", 270, 48, 120, QIJ_LEFT);
    s_chooser.size = Label(pop, "ChatSelectMapDispMapSize", "", 270, 64, 120, QIJ_LEFT);
    Label(pop, "ChatSelectMapNumPlayers", "Nunber of Players", 270, 90, 120, QIJ_LEFT);
    s_chooser.players = Label(pop, "ChatSelectMapDispNumPlayers", "", 270, 106, 120, QIJ_LEFT);
    Label(pop, "ChatSelectMapMapType", "Map Type", 270, 132, 120, QIJ_LEFT);
    s_chooser.type = Label(pop, "ChatSelectMapDispMapType", "", 270, 148, 120, QIJ_LEFT);
    const IRect at(pop->x + 20, pop->y + 48, 220, 156);
    QITextList* list = new QITextList("ChatSelectMapList", MM_chat_map_row_text,
                                      QIImage("POP_MAP.BMP", IRect(20, 48, 220, 156), 0), at, IPoint(220, 13), 1,
                                      nullptr, nullptr);
    QIWidget::AddChild(pop, list);
    QISlider* bar = Mm_ScrollBar(IRect(at.x + at.w, at.y, 16, at.h));
    bar->name.Set("ChatSelectMapListVS");
    list->AttachVScroll(bar);
    for (const std::string& n : names) list->Add(new QITextItem(Font(MM_FONT_TEXT), n.c_str()));
    s_chooser.list = list;
    s_chooser.picked.clear();
    pop->AddButton(Button(pop, "ChatSelectMapOk", "SELECT MAP", 40, 216), 0);
    pop->AddButton(Button(pop, "ChatSelectMapCancel", "CANCEL", 210, 216), 1);
    pop->MarkTree(); // the list's rows drawn with the pop-up's first frame
    const int result = Mm_RunPopup(pop);
    s_chooser = CHOOSER{nullptr, nullptr, nullptr, nullptr, s_chooser.picked};
    if (result == MM_POP_OK && !s_chooser.picked.empty()) {
        c.map_category = c.game_type;
        Game_SetScenarioCategory(c.map_category ? SC_CAMPAIGN : SC_MULTI);
        Game_SetScenarioName(s_chooser.picked.c_str());
        MM_chat_show_map();
        MM_chat_options_changed(nullptr, QIN_CHANGED, 0);
        MM_chat_reload_rules();
    } else {
        // Nothing chosen: the map in force keeps its folder, or the launch
        // would look for it in the other one.
        Game_SetScenarioCategory(c.map_category ? SC_CAMPAIGN : SC_MULTI);
    }
    return 0;
}
