// The editor's modal boxes and the file lister.
#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/mlstring.h"
#include "core/tlog.h"
#include "editor/editor.h"
#include "editor/mefile.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qiitem.h"
#include "widgets/qilayer.h"
#include "widgets/qilist.h"
#include "widgets/qistatic.h"
#include "widgets/qigauge.h"
#include "widgets/qislider.h"

enum {
    MEBOX_TEXT = 256,       // a box's text, terminator included
    MEBOX_KEY = 64,
    MEBOX_MINWIDTH = 180,
    MEBOX_MARGIN = 64,
    MEBOX_HEIGHT = 110,
    MEBOX_TEXTTOP = 42,
    MEBOX_BUTTONWIDTH = 64,
};

static const QIFont* EditorFont(void)
{
    return g_MeEditor.fontB ? &g_MeEditor.fontB->font : nullptr;
}

QIPopup* MeMenuFile::MessageBox(const char* id, const char* title, const char* text, int show)
{
    const QIFont* font = EditorFont();
    const int textWidth = font ? Font_StringWidth(text, font->slot) : 0;
    const int lineHeight = font ? Font_GetHeight(font->slot) : 10;
    // Never wider than the screen: its buttons stay where a click reaches.
    const int width = std::min(640, std::max((int)MEBOX_MINWIDTH, textWidth + MEBOX_MARGIN));
    QIPopup* pop = new QIPopup(id, nullptr, IPoint(width, MEBOX_HEIGHT), font, title);
    QIStatic* line =
        new QIStatic(id, nullptr, IRect(pop->x, pop->y + MEBOX_TEXTTOP, width, lineHeight), text, font, QIJ_CENTRE);
    // The text is the caller's, already looked up: exporting it as a define
    // would name the box's key a second time.
    line->flags &= ~QIWF_EXPORTS;
    QIWidget::AddChild(pop, line);
    QIWidget::AddChild(g_MeEditor.backdrop, pop);
    if (show && g_MeEditor.desktop) g_MeEditor.desktop->Refresh(pop);
    return pop;
}

// The format for key: the strings' text of key + "Desc" when it asks for the
// same arguments as the default (a text that asked for others would make the
// formatting read arguments it was never given), else the default.
static void FindText(char* out, const char* desc, const char* format, va_list ap)
{
    char found[MEBOX_TEXT];
    const char* chosen = format;
    if (MLString_Get(desc, found, sizeof found, 0)) {
        if (QI_SameArguments(found, format))
            chosen = found;
        else
            TLOG(TLOG_WARNING, "Text [%s] takes other arguments than \"%s\": the default is used", desc, format);
    } else {
        TLOG(TLOG_WARNING, "#define %s \"%s\"", desc, format);
    }
    vsnprintf(out, MEBOX_TEXT, chosen, ap);
}

static void BoxText(char* out, const char* key, const char* format, va_list ap)
{
    char desc[MEBOX_KEY + 5];
    snprintf(desc, sizeof desc, "%s%s", key, "Desc");
    FindText(out, desc, format, ap);
}

void MeMenuFile::FormatText(char* out, const char* key, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    FindText(out, key, format, ap);
    va_end(ap);
}

static QIButton* BoxButton(const char* key, const char* suffix, const char* label)
{
    char name[MEBOX_KEY + 8];
    snprintf(name, sizeof name, "%s%s", key, suffix);
    const QIFont* font = EditorFont();
    const int h = (font ? Font_GetHeight(font->slot) : 10) + 6;
    return new QIButton(name, nullptr, IRect(0, 0, MEBOX_BUTTONWIDTH, h), label, font, font, font);
}

// Opens the popup, runs the modal loop with the map's drawing held (the
// popup covers it), closes the popup: the loop's result.
static int RunBox(QIPopup* pop)
{
    QIDesktop* d = g_MeEditor.desktop;
    if (!d) {
        delete pop;
        return 0;
    }
    const uint32_t drawing = g_MeEditor.flags & MEF_DRAWMAP;
    g_MeEditor.flags &= ~MEF_DRAWMAP;
    // A box owns the keyboard: the editor's keys would save, load or open
    // more boxes behind it, so they wait until it is closed.
    const QIKEYHOOK keys = d->keyHook;
    d->keyHook = nullptr;
    d->Refresh(pop);
    int result;
    for (;;) {
        // A close request ends the loop with no button: the result is then
        // neither Ok nor Cancel, never a previous box's answer.
        d->loopResult = 0;
        result = d->EventLoop(pop, 0);
        const bool closed = !(d->dflags & QID_RUNNING) && (Plat_QuitSeen() || g_QuitRequested);
        if (!closed || !(g_MeEditor.flags & MEF_CLOSING)) break;
        // The question a close asks waits for its answer: a second close
        // (a double click on the window's close, Ctrl+C twice) would
        // otherwise end the editor before the edit could be saved.
        Plat_ClearQuit();
        g_QuitRequested = 0;
        d->dflags |= QID_RUNNING;
    }
    d->keyHook = keys;
    d->ClosePopup(pop);
    g_MeEditor.flags |= drawing;
    return result;
}

int MeMenuFile::RunModal(QIPopup* pop) { return RunBox(pop); }

void MeMenuFile::AddOkCancel(QIPopup* pop, const char* key)
{
    pop->AddButton(BoxButton(key, "Ok", "Ok"), 0);
    pop->AddButton(BoxButton(key, "Cancel", "Cancel"), 1);
}

void MeMenuFile::ErrorBox(const char* key, const char* format, ...)
{
    char text[MEBOX_TEXT];
    va_list ap;
    va_start(ap, format);
    BoxText(text, key, format, ap);
    va_end(ap);
    if (!g_MeEditor.desktop) return;
    QIPopup* pop = MessageBox(key, "Error!", text, 0);
    pop->AddButton(BoxButton(key, "Ok", "Ok"), 0);
    RunBox(pop);
}

int MeMenuFile::QueryBox(const char* key, const char* format, ...)
{
    char text[MEBOX_TEXT];
    va_list ap;
    va_start(ap, format);
    BoxText(text, key, format, ap);
    va_end(ap);
    if (!g_MeEditor.desktop) return 0;
    QIPopup* pop = MessageBox(key, "Wait!", text, 0);
    pop->AddButton(BoxButton(key, "Ok", "Ok"), 0);
    pop->AddButton(BoxButton(key, "Cancel", "Cancel"), 1);
    return RunBox(pop);
}

void MeMenuFile::ListFiles(QIList* list, const char* pattern)
{
    if (!list || !pattern) return;
    // Patterns from the data tree separate their parts with backslashes.
    const char* slash = strrchr(pattern, '/');
    const char* back = strrchr(pattern, '\\');
    if (back && (!slash || back > slash)) slash = back;
    const std::string dirPart = slash ? std::string(pattern, (size_t)(slash - pattern)) : std::string(".");
    const char* wild = slash ? slash + 1 : pattern;
    const std::string dir = Fs_Resolve(dirPart.empty() ? "/" : dirPart.c_str());
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    // Sorted, case-blind: the file system's own order differs between runs.
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
        if (fnmatch(wild, e->d_name, FNM_CASEFOLD) != 0) continue;
        struct stat st;
        const std::string full = dir + "/" + e->d_name;
        if (stat(full.c_str(), &st) != 0) continue;
        // Only a plain folder is left out: one also hidden or read-only
        // carries more than the directory attribute.
        const bool plainDir = S_ISDIR(st.st_mode) && e->d_name[0] != '.' && (st.st_mode & S_IWUSR);
        if (plainDir) continue;
        names.push_back(e->d_name);
    }
    closedir(d);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
    for (std::string& n : names) {
        // The choice buffer holds 255 characters.
        if (n.size() > MEBOX_TEXT - 1) n.resize(MEBOX_TEXT - 1);
        for (char& c : n) c = (char)tolower((unsigned char)c);
        n[0] = (char)toupper((unsigned char)n[0]);
        list->Add(new QITextItem(EditorFont(), n.c_str()));
    }
}

// ---------------------------------------------------------------- file list

enum { MEFILES_WIDTH = 160, MEFILES_HEIGHT = 300, MEFILES_CELL = 10, MEARROW = 13 };

// The dialog's pick; lives for one dialog.
static char* s_choice = nullptr;

static int OnFilePicked(QIWidget* widget, int event, QIARG)
{
    QIList* list = static_cast<QIList*>(widget);
    if (event != QIN_CHANGED || !s_choice || list->current < 0) return event;
    if (QITextItem* item = dynamic_cast<QITextItem*>(list->ItemAt(list->current)))
        snprintf(s_choice, MEBOX_TEXT, "%s", item->text.c_str());
    return event;
}

void MeMenuFile::BuildScrollList(QISlider* bar)
{
    if (!bar) return;
    const QIFont* font = EditorFont();
    QIButton* arrows[2];
    const char* files[2] = {"up.bmp", "dn.bmp"};
    for (int i = 0; i < 2; i++) {
        // Normal, focused, pressed, pressed with focus: four cells side by side.
        QIImage cell[4];
        for (int c = 0; c < 4; c++) cell[c] = QIImage(files[i], IRect(MEARROW * c, 0, MEARROW, MEARROW), 0);
        arrows[i] = new QIButton("", nullptr, IRect(0, 0, 0, 0), cell[0], cell[1], cell[2], cell[3], "", font, font,
                                 font);
    }
    bar->AttachDecButton(arrows[0]);
    bar->AttachIncButton(arrows[1]);
}

// Whether the scenario file can carry name in SetEnd or SetFSM: one token of
// at most 63 characters.
static bool ScenarioToken(const char* name)
{
    const size_t n = strlen(name);
    return n > 0 && n <= 63 && !strpbrk(name, " \t\r\n\v\f(){};\"");
}

int MeMenuFile::FileListDialog(const char* id, const char* title, QIString* result, const char* patterns)
{
    QIDesktop* d = g_MeEditor.desktop;
    if (!d || !id) return 0;
    char choice[MEBOX_TEXT] = "";
    s_choice = choice;
    const std::string parts = patterns ? patterns : "";
    const QIFont* font = EditorFont();
    QIPopup* pop = new QIPopup(id, nullptr, IPoint(MEFILES_WIDTH, MEFILES_HEIGHT), font, title);
    QIWidget::AddChild(g_MeEditor.backdrop, pop);
    const int line = font ? Font_GetHeight(font->slot) : MEFILES_CELL;
    const int buttonHeight = line + 6;
    // The list fills the popup between its title band and the buttons.
    const IRect area(pop->x + QIPOPUP_BORDER, pop->y + QIPOPUP_BORDER + line + 4,
                     MEFILES_WIDTH - 2 * QIPOPUP_BORDER,
                     MEFILES_HEIGHT - 3 * QIPOPUP_BORDER - line - 4 - buttonHeight);
    QISlider* bar = new QITrackSlider("", nullptr, IRect(area.x + area.w - MEARROW, area.y, MEARROW, area.h),
                                      QISO_VERTICAL, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    char name[MEBOX_KEY + 12];
    snprintf(name, sizeof name, "%s%s", id, "FileList");
    QIList* list = new QIList(name, OnFilePicked, IRect(area.x, area.y, area.w - MEARROW, area.h),
                              IPoint(area.w - MEARROW, line), 1, bar, nullptr);
    BuildScrollList(bar);
    QIWidget::AddChild(pop, list);
    size_t start = 0;
    while (start <= parts.size()) {
        const size_t end = std::min(parts.find(';', start), parts.size());
        if (end > start) ListFiles(list, parts.substr(start, end - start).c_str());
        start = end + 1;
    }
    // A picked name goes into the scenario file: one it can't carry would
    // make the saved scenario unreadable.
    for (int i = list->count - 1; i >= 0; i--) {
        QITextItem* item = static_cast<QITextItem*>(list->ItemAt(i));
        if (!ScenarioToken(item->text.c_str())) list->Remove(item);
    }
    pop->AddButton(BoxButton(id, "Ok", "Ok"), 0);
    pop->AddButton(BoxButton(id, "Cancel", "Cancel"), 1);
    const int answer = RunBox(pop);
    if (answer == g_QIPopupCodes[0] && result) result->Set(choice);
    s_choice = nullptr;
    return answer;
}

// ---------------------------------------------------------------- wait panel

enum { MEWAIT_BARLEFT = 16, MEWAIT_BARTOP = 68, MEWAIT_BARHEIGHT = 10, MEWAIT_STRIPTOP = 82 };

static struct {
    QIPopup* popup;
    QISlider* bar;
    int32_t step, steps, origin;
} s_wait;

QIPopup* MeMenuFile::WaitPanel(void) { return s_wait.popup; }

void MeMenuFile::ShowWaitPanel(int steps, const char* id, const char* title, const char* text)
{
    if (!g_MeEditor.desktop || s_wait.popup) return;
    s_wait.step = s_wait.origin = 0;
    s_wait.steps = steps;
    QIPopup* pop = MessageBox(id, title, text, 0);
    s_wait.bar = new QITrackSlider(id, nullptr,
                                   IRect(pop->x + MEWAIT_BARLEFT, pop->y + MEWAIT_BARTOP, pop->w - 32, MEWAIT_BARHEIGHT),
                                   QISO_HORIZONTAL, &s_wait.origin, &s_wait.steps, &s_wait.step, nullptr, nullptr,
                                   nullptr);
    QIWidget::AddChild(pop, s_wait.bar);
    s_wait.popup = pop;
    g_MeEditor.desktop->Refresh(pop);
}

void MeMenuFile::CloseWaitPanel(void)
{
    if (!s_wait.popup) return;
    if (g_MeEditor.desktop) g_MeEditor.desktop->ClosePopup(s_wait.popup);
    s_wait.popup = nullptr;
    s_wait.bar = nullptr;
}

void MeMenuFile::LoadProgress(const char* text)
{
    QIPopup* pop = s_wait.popup;
    if (!pop) return;
    s_wait.step++;
    BITMAP* bb = Backbuf_Lock();
    const QIFont* font = EditorFont();
    if (bb && font) {
        const int line = Font_GetHeight(font->slot);
        const int x = pop->x + MEWAIT_BARLEFT, y = pop->y + MEWAIT_STRIPTOP;
        Graph_FillRect(bb, nullptr, 0, x, y, pop->w - 31, line + 1, g_MeColours[QIC_FACE]);
        Font_Print(x, y, text ? text : "", 0, font->slot, nullptr, nullptr, bb);
        char percent[16];
        snprintf(percent, sizeof percent, "%d%%", s_wait.steps > 0 ? s_wait.step * 100 / s_wait.steps : 100);
        Font_Print(pop->x + pop->w - 16 - Font_StringWidth(percent, font->slot), y, percent, 0, font->slot, nullptr,
                   nullptr, bb);
    }
    s_wait.bar->Draw(nullptr);
    Graph_FlipWithCursor();
}
