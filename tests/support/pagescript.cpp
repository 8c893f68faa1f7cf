#include "support/pagescript.h"

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "multi/mmchat.h"
#include "multi/mmframe.h"
#include "multi/mminet.h"
#include "multi/mmipx.h"
#include "multi/mmsummary.h"
#include "multi/mmznet.h"
#include "multi/mmzsvr.h"
#include "net/net.h"
#include "platform/thread.h"
#include "support/passscript.h"
#include "widgets/qidesktop.h"
#include "widgets/qidroplist.h"
#include "widgets/qiedit.h"
#include "widgets/qilayer.h"
#include "widgets/qilist.h"
#include "widgets/qistatic.h"

namespace {

struct STEP {
    int line;
    std::string verb, arg, rest;
};

struct SCRIPT {
    std::string path, prefix;
    std::vector<STEP> steps;
    size_t at = 0;
    int seconds = 30;
    std::chrono::steady_clock::time_point start;
    QvPassScript* passes = nullptr;
    int added = 0; // passes queued so far
    FILE* out = nullptr; // the program sends stdout to its own file
};
SCRIPT s_script;

[[noreturn]] void Fail(const STEP& st, const char* why)
{
    fprintf(s_script.out, "%s%s:%d: step failed (%s): %s %s %s\n", s_script.prefix.c_str(), s_script.path.c_str(),
            st.line, why, st.verb.c_str(), st.arg.c_str(), st.rest.c_str());
    fflush(s_script.out);
    TLOG(TLOG_ERROR, "%s:%d: step failed (%s)", s_script.path.c_str(), st.line, why);
    _exit(1);
}

void Say(const std::string& text)
{
    fprintf(s_script.out, "%s%s\n", s_script.prefix.c_str(), text.c_str());
    fflush(s_script.out);
}

// The widget of a path "PAGE/NAME#K" whose page is shown; null when none.
QIWidget* Named(QIWidget* from, const char* name, int* skip)
{
    for (QIWidget* w = from; w; w = w->Next()) {
        if (w->name.CompareCStr(name) == QISTR_EQUAL && (*skip)-- == 0) return w;
        if (QIWidget* c = Named(w->FirstChild(), name, skip)) return c;
    }
    return nullptr;
}

QIPopup* TopPopup(void);

// A page, or the pop-up on top by its name.
QIWidget* Find(const std::string& path)
{
    const size_t slash = path.find('/');
    const std::string page = path.substr(0, slash);
    // Two pages may carry one name: the shown one counts.
    QIWidget* layer = nullptr;
    for (QIWidget* w = MM_menu.backdrop ? MM_menu.backdrop->FirstChild() : nullptr; w && !layer; w = w->Next())
        if (w->name.CompareCStr(page.c_str()) == QISTR_EQUAL && !QIWidget::IsHidden(w)) layer = w;
    if (QIPopup* p = layer ? nullptr : TopPopup())
        if (p->name.CompareCStr(page.c_str()) == QISTR_EQUAL) layer = p;
    if (!layer || QIWidget::IsHidden(layer)) return nullptr;
    if (slash == std::string::npos) return layer;
    std::string name = path.substr(slash + 1);
    int k = 0;
    const size_t hash = name.find('#');
    if (hash != std::string::npos) {
        k = atoi(name.c_str() + hash + 1);
        name.resize(hash);
    }
    return Named(layer->FirstChild(), name.c_str(), &k);
}

std::string RowText(QIGraphic* g)
{
    char text[256];
    if (auto* r = dynamic_cast<MMScrollInetAddress*>(g)) {
        snprintf(text, sizeof text, "%s | %s | %s | %4d ms", r->name.c_str(), r->address.c_str(), r->status.c_str(),
                 (int)NetPkt_GetRoundTrip(&r->head.address));
    } else if (auto* r = dynamic_cast<MMScrollIpxGame*>(g)) {
        char players[26];
        MM_ipx_player_text(r->session.count, players, sizeof players);
        snprintf(text, sizeof text, "%s | %s | %s", r->session.name, players, MM_ipx_status_text(r->session.flags));
    } else if (auto* r = dynamic_cast<MMScrollZnetGame*>(g)) {
        snprintf(text, sizeof text, "%s | %d/%d%s", r->record.name, r->record.players, r->record.maxplayers,
                 r->record.password ? " | locked" : "");
    } else if (auto* r = dynamic_cast<MMScrollZnetRoom*>(g)) {
        snprintf(text, sizeof text, "%s%s", r->record.name, r->record.password ? " | locked" : "");
    } else if (auto* r = dynamic_cast<MMScrollZnetPlayer*>(g)) {
        snprintf(text, sizeof text, "%s", r->record.name);
    } else if (auto* r = dynamic_cast<MMScrollServer*>(g)) {
        snprintf(text, sizeof text, "%s", r->record.host);
    } else if (auto* r = dynamic_cast<QITextItem*>(g)) {
        snprintf(text, sizeof text, "%s", r->text.c_str());
    } else {
        text[0] = 0;
    }
    return text;
}

void Queue(const QvPass& p)
{
    s_script.passes->Add(p);
    s_script.added++;
}

void ClickAt(int x, int y)
{
    Queue(QvMove(x, y));
    Queue(QvPass()); // a press in the pass after the move can find the tree still changing under it
    Queue(QvButton(1));
    Queue(QvButton(0));
}

void Keys(const std::string& text)
{
    for (char c : text) {
        QvPass p = QvKey(0x1E);
        p.character = (unsigned char)c;
        Queue(p);
    }
}

QIPopup* TopPopup(void)
{
    QIPopup* found = nullptr;
    if (MM_menu.backdrop)
        for (QIWidget* w = MM_menu.backdrop->FirstChild(); w; w = w->Next())
            if (auto* p = dynamic_cast<QIPopup*>(w)) found = p;
    return found;
}

bool FileThere(const std::string& name)
{
    struct stat st;
    return stat(name.c_str(), &st) == 0;
}

bool LogHolds(const std::string& text)
{
    std::ifstream f(g_Config.logfile);
    std::stringstream all;
    all << f.rdbuf();
    return all.str().find(text) != std::string::npos;
}

// Carries out the current step: true when it is done (input queued or its
// condition met), false to look again next pass.
bool Do(const STEP& st)
{
    const std::string& v = st.verb;
    if (v == "click" || v == "clear") {
        QIWidget* w = Find(st.arg);
        if (!w) {
            if (QIPopup* p = TopPopup()) {
                int k = 0;
                w = Named(p->FirstChild(), st.arg.substr(st.arg.find('/') + 1).c_str(), &k);
            }
            if (!w) return false;
        }
        ClickAt(w->x + w->w / 2, w->y + w->h / 2);
        if (v == "clear") {
            Queue(QvKey(79));
            for (int i = 0; i < 64; i++) Queue(QvKey(14));
        }
        return true;
    }
    if (v == "row") {
        auto* list = dynamic_cast<QIList*>(Find(st.arg));
        const int i = atoi(st.rest.c_str());
        if (!list || i >= list->count) return false;
        ClickAt(list->x + 8, list->y + i * list->itemSize.y - list->scroll.y + list->itemSize.y / 2);
        return true;
    }
    if (v == "select") {
        auto* list = dynamic_cast<QIList*>(Find(st.arg));
        for (int i = 0; list && i < list->count; i++)
            if (RowText(list->ItemAt(i)).find(st.rest) != std::string::npos) {
                ClickAt(list->x + 8, list->y + i * list->itemSize.y - list->scroll.y + list->itemSize.y / 2);
                return true;
            }
        return false;
    }
    if (v == "label") {
        auto* label = dynamic_cast<QIStatic*>(Find(st.arg));
        if (!label || std::string(label->text.c_str()).find(st.rest) == std::string::npos) return false;
        Say(st.arg + ": " + label->text.c_str());
        return true;
    }
    if (v == "pick") {
        // Press on the closed list, drag to the entry in the opened box, let go.
        auto* list = dynamic_cast<QIDropList*>(Find(st.arg));
        if (!list || QIWidget::IsHidden(list) || (list->flags & QIWF_DISABLED)) return false;
        // The entry reading TEXT, else the first holding it.
        int i = 0;
        while (i < list->count && RowText(list->ItemAt(i)) != st.rest) i++;
        if (i == list->count) i = 0;
        while (i < list->count && RowText(list->ItemAt(i)).find(st.rest) == std::string::npos) i++;
        if (i == list->count) return false;
        const IRect& open = list->openBox;
        Queue(QvMove(list->x + list->w / 2, list->y + list->h / 2));
        Queue(QvButton(1));
        Queue(QvMove(open.x + 4, open.y + i * list->itemSize.y + list->itemSize.y / 2));
        Queue(QvButton(0));
        return true;
    }
    if (v == "location") {
        // The mark of start location K on the staging page's minimap.
        MMScrollChatMiniMap* m = MM_chat.minimap;
        const int k = atoi(st.arg.c_str());
        if (!m || QIWidget::IsHidden(m) || k < 0 || k >= MM_SUMMARY_TEAMS) return false;
        const MULTI_scenario_team& t = g_MultiScenario.teams[k];
        ClickAt(m->x + m->minimap_x + t.start_x + 1, m->y + m->minimap_y + t.start_y + 1);
        return true;
    }
    if (v == "interrupt") {
        raise(SIGINT);
        return true;
    }
    if (v == "type") {
        Keys(st.arg + (st.rest.empty() ? "" : " " + st.rest));
        return true;
    }
    if (v == "key") {
        Queue(QvKey(atoi(st.arg.c_str())));
        return true;
    }
    if (v == "shown") {
        if (!Find(st.arg)) return false;
        Say("page " + st.arg + " shown");
        return true;
    }
    if (v == "text" || v == "print") {
        auto* list = dynamic_cast<QIList*>(Find(st.arg));
        if (!list) return false;
        bool seen = false;
        for (int i = 0; i < list->count; i++) {
            const std::string row = RowText(list->ItemAt(i));
            if (v == "print") Say(st.arg + " row " + std::to_string(i) + ": " + row);
            else if (!seen && row.find(st.rest) != std::string::npos) {
                Say(st.arg + " row " + std::to_string(i) + ": " + row);
                seen = true;
            }
        }
        return v == "print" || seen;
    }
    if (v == "count") {
        auto* list = dynamic_cast<QIList*>(Find(st.arg));
        if (!list) return false;
        const size_t space = st.rest.find(' ');
        const std::string text = space == std::string::npos ? "" : st.rest.substr(space + 1);
        int n = 0;
        for (int i = 0; i < list->count; i++) n += RowText(list->ItemAt(i)).find(text) != std::string::npos;
        if (n != atoi(st.rest.c_str())) Fail(st, ("rows holding it: " + std::to_string(n)).c_str());
        Say(st.arg + " rows holding " + text + ": " + std::to_string(n));
        return true;
    }
    if (v == "popup") {
        QIPopup* p = TopPopup();
        int k = 0;
        if (!p || !Named(p->FirstChild(), st.arg.c_str(), &k)) return false;
        Say("popup " + std::string(p->name.c_str()) + ": " + st.arg);
        return true;
    }
    if (v == "answer") {
        QIPopup* p = TopPopup();
        const int slot = atoi(st.arg.c_str());
        if (!p || slot < 0 || slot >= QIPOPUP_SLOTS || !p->slots[slot]) return false;
        QIWidget* b = p->slots[slot];
        ClickAt(b->x + b->w / 2, b->y + b->h / 2);
        return true;
    }
    if (v == "log") return LogHolds(st.arg + (st.rest.empty() ? "" : " " + st.rest));
    if (v == "state") return g_GameState == atoi(st.arg.c_str());
    if (v == "netstate") {
        Net_Lock();
        const int state = g_NetState;
        Net_Unlock();
        if (state != atoi(st.arg.c_str())) return false;
        Say("network state " + st.arg);
        return true;
    }
    if (v == "wait") return FileThere(st.arg);
    if (v == "touch") {
        if (FILE* f = fopen(st.arg.c_str(), "w")) fclose(f);
        return true;
    }
    if (v == "echo") {
        Say(st.arg + (st.rest.empty() ? "" : " " + st.rest));
        return true;
    }
    Fail(st, "unknown step");
}


void OnPass(int pass)
{
    Thread_Sleep(1);
    SCRIPT& s = s_script;
    if (pass < s.added) return; // queued input plays first
    const auto elapsed = std::chrono::steady_clock::now() - s.start;
    while (s.at < s.steps.size()) {
        const STEP& st = s.steps[s.at];
        if (std::chrono::duration_cast<std::chrono::seconds>(elapsed).count() >= s.seconds) Fail(st, "out of time");
        const int before = s.added;
        if (!Do(st)) break;
        s.at++;
        if (s.added != before) break; // its input plays before the next step looks
    }
    if (pass >= s.added) Queue(QvPass()); // the pass itself
}

} // namespace

int PageScript_Load(const char* path, const char* prefix, int seconds)
{
    std::ifstream f(path);
    if (!f) {
        fprintf(stderr, "page script: cannot read %s\n", path);
        return 0;
    }
    s_script = SCRIPT();
    s_script.path = path;
    s_script.prefix = prefix;
    s_script.seconds = seconds;
    s_script.out = fopen("pages.txt", "w");
    if (!s_script.out) s_script.out = stdout;
    std::string line;
    for (int n = 1; std::getline(f, line); n++) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos && (hash == 0 || line[hash - 1] == ' ')) line.resize(hash);
        std::istringstream in(line);
        STEP st;
        st.line = n;
        if (!(in >> st.verb)) continue;
        in >> st.arg;
        std::getline(in, st.rest);
        const size_t first = st.rest.find_first_not_of(' ');
        st.rest = first == std::string::npos ? "" : st.rest.substr(first);
        while (!st.rest.empty() && st.rest.back() == ' ') st.rest.pop_back();
        s_script.steps.push_back(st);
    }
    return 1;
}

void PageScript_RunMenus(void)
{
    QvPassScript passes(1000000);
    passes.stopWhenDone = false;
    s_script.passes = &passes;
    s_script.start = std::chrono::steady_clock::now();
    passes.onPass = OnPass;
    Mm_Main();
    s_script.passes = nullptr;
    if (s_script.at < s_script.steps.size()) Fail(s_script.steps[s_script.at], "the menus ended first");
    if (passes.overran) Fail(s_script.steps.empty() ? STEP{0, "", "", ""} : s_script.steps.back(), "out of passes");
}
