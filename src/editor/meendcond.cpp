#include "editor/meendcond.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "ai/ai.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "editor/editor.h"
#include "editor/mefile.h"
#include "editor/melayers.h"
#include "platform/font.h"
#include "rules/endcond.h"
#include "rules/tfendcnd.h"
#include "widgets/qibutton.h"
#include "widgets/qidraw.h"
#include "widgets/qidesktop.h"
#include "widgets/qiedit.h"
#include "widgets/qigauge.h"
#include "widgets/qiitem.h"
#include "widgets/qilayer.h"
#include "widgets/qilist.h"
#include "widgets/qislider.h"
#include "widgets/qistatic.h"

enum { MEEC_NAMELEN = 13, MEEC_ROWW = 200, MEEC_ARROW = 13, MEEC_FSMS = 3 };

static const QIFont* Font(MEFONT* f) { return f ? &f->font : nullptr; }

static QIButton* TextButton(const char* id, const char* title, QIHANDLER fn, const IRect& rect)
{
    MeEditor& me = g_MeEditor;
    return new QIButton(id, fn, rect, title, Font(me.fontA), Font(me.fontB), nullptr);
}

// One selector group, dy pixels below the end-condition group's place.
static void BuildSelector(QIWidget* layer, MESELECTOR* sel, int dy, const char* label, const char* text,
                          const char* button, QIHANDLER fn, const char* field, const char* desc)
{
    MeEditor& me = g_MeEditor;
    QILayer* group = new QILayer("", nullptr, IRect(448, 32 + dy, 192, 150), 0);
    QIWidget::AddChild(layer, group);
    QIWidget::AddChild(group, new QIStatic(label, nullptr, IRect(450, 34 + dy, 188, 10), text, Font(me.fontSmall),
                                           QIJ_CENTRE));
    QIWidget::AddChild(group, TextButton(button, "Select", fn, IRect(452, 48 + dy, 88, 18)));
    QIEdit* name = new QIEdit(field, nullptr, IRect(546, 48 + dy, 88, 18), IPoint(2, 1), QIEJ_LEFT, sel->text,
                              QIEC_LETTERS | QIEC_DIGITS, 0, MEEC_NAMELEN, g_MeColours[QIC_FACE], Font(me.fontB));
    name->Disable();
    QIWidget::AddChild(group, name);
    sel->widget = name;
    const IRect area(458, 78 + dy, 158, 90);
    const int line = me.fontB ? Font_GetHeight(me.fontB->font.slot) : 10;
    QISlider* bar = new QITrackSlider("", nullptr, IRect(area.x + area.w - MEEC_ARROW, area.y, MEEC_ARROW, area.h),
                                      QISO_VERTICAL, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    QIList* list = new QIList(desc, nullptr, IRect(area.x, area.y, area.w - MEEC_ARROW, area.h),
                              IPoint(MEEC_ROWW, line), 1, bar, nullptr);
    MeMenuFile::BuildScrollList(bar);
    QIWidget::AddChild(group, list);
    sel->list = list;
}

void MeEndCond::BuildLayer(void)
{
    MeEditor& me = g_MeEditor;
    QILayer* layer = new QILayer("EndCondLayer", nullptr, IRect(448, 32, 192, 300), 0);
    layer->flags &= ~QIWF_SHOWN;
    QIWidget::AddChild(me.backdrop, layer);
    BuildSelector(layer, &me.endCondSelector, 0, "EndCond", "End Condition", "EndCondSelect", OnSelectEndCond,
                  "EndCondName", "EndCondDesc");
    BuildSelector(layer, &me.fsmSelector, 150, "FSM", "Ai FSM", "FSMSelect", OnSelectFsm, "FSMName", "FSMDesc");
    QILayer* lower = new QILayer("EndCondLayer2", nullptr, IRect(448, 396, 58, 72), 0);
    QIWidget::AddChild(layer, lower);
    QIWidget::AddChild(lower, TextButton("Delete", "Delete", MeLayers::OnDelete, IRect(448, 395, 57, 18)));
    QIWidget::AddChild(lower, TextButton("RegionNew", "NewReg", OnNewRegion, IRect(448, 413, 57, 18)));
    me.showIds = me.showPlayers = 0;
    const QIFont *a = Font(me.fontA), *b = Font(me.fontB);
    QIWidget::AddChild(lower, new QIToggleButton("ToggleIDs", nullptr, IRect(448, 431, 57, 18), "Show IDs",
                                                 "Hide IDs", a, b, nullptr, &me.showIds, 0, 1));
    QIWidget::AddChild(lower, new QIToggleButton("TogglePlayer", nullptr, IRect(448, 449, 57, 18), "Show Plr",
                                                 "Hide Plr", a, b, nullptr, &me.showPlayers, 0, 1));
    // The toggles' constructors store their second value.
    me.showIds = me.showPlayers = 0;
}

int MeEndCond::OnSelectEndCond(QIWidget*, int event, QIARG)
{
    if (event == QIN_CLICKED) SelectEndCond();
    return event;
}

int MeEndCond::OnSelectFsm(QIWidget*, int event, QIARG)
{
    if (event == QIN_CLICKED) SelectFsm();
    return event;
}

// The dialog over the scenario folder and the AI-plan directory: true on Ok.
static bool Select(const char* id, const char* title, const char* ext, QIString* result)
{
    char patterns[2 * GAME_PATH + 16];
    snprintf(patterns, sizeof patterns, "%s\\*.%s;%s\\*.%s", g_ScenarioDir, ext, g_AipDir, ext);
    return MeMenuFile::FileListDialog(id, title, result, patterns) == 23;
}

void MeEndCond::SelectEndCond(void)
{
    MeEditor& me = g_MeEditor;
    if (!Select("EndCondSelect", "Select End Condition", "END", me.endCondSelector.text)) return;
    Endcond_SetEndCondFile(me.team, me.endCondSelector.text->c_str());
    ListEndConds(me.team, Font(me.fontB));
}

void MeEndCond::SelectFsm(void)
{
    MeEditor& me = g_MeEditor;
    if (!Select("FSMSelect", "Select FSM", "FSM", me.fsmSelector.text)) return;
    for (int v = 0; v < MEEC_FSMS; v++) AI_SetFsmFilename(me.team, v, me.fsmSelector.text->c_str());
    ListFsms(me.team, Font(me.fontB));
}

void MeEndCond::Wrap(QIList* list, const char* text, int width, const QIFont* font)
{
    const int slot = font ? font->slot : 0;
    std::string line;
    int lineWidth = 0;
    for (const char* p = text; *p;) {
        const int w = Font_CharWidth(slot, (unsigned char)*p);
        // The first character always goes in: a glyph wider than the list
        // would otherwise never leave the loop.
        if (line.empty() || lineWidth + w <= width) {
            line += *p++;
            lineWidth += w;
            continue;
        }
        const size_t space = line.rfind(' ');
        std::string rest;
        if (space != std::string::npos && space > 0) {
            rest = line.substr(space + 1);
            line.resize(space);
        }
        list->Add(new QITextItem(font, line.c_str()));
        line = rest;
        lineWidth = 0;
        for (char c : line) lineWidth += Font_CharWidth(slot, (unsigned char)c);
    }
    if (!line.empty()) list->Add(new QITextItem(font, line.c_str()));
}

static void Show(MESELECTOR& sel, const char* name, int team, int kind, const QIFont* font)
{
    if (sel.text) sel.text->Set(name ? name : "");
    // The field draws its own copy of the text, which nothing else renews:
    // it takes no typing.
    if (QIEdit* field = dynamic_cast<QIEdit*>(sel.widget))
        snprintf(field->buffer, (size_t)field->maxLength + 1, "%s", name ? name : "");
    if (sel.widget && !sel.widget->IsHidden()) sel.widget->Draw(nullptr);
    char* text = Endcond_ReadDescription(team, kind);
    if (!sel.list) {
        Debug_Free(&text);
        return;
    }
    sel.list->Clear();
    if (text && *text) MeEndCond::Wrap(sel.list, text, sel.list->w, font);
    Debug_Free(&text);
    sel.list->flags |= QIWF_MARK;
    if (sel.list->IsHidden()) return;
    // The rows draw their text only: what the last description left under
    // them goes with the backdrop drawn again.
    const IRect area(sel.list->x, sel.list->y, sel.list->w, sel.list->h);
    if (g_MeEditor.desktop)
        g_MeEditor.desktop->Repaint(&area);
    else
        sel.list->Draw(nullptr);
}

void MeEndCond::ListEndConds(int team, const QIFont* font)
{
    Show(g_MeEditor.endCondSelector, Endcond_GetEndCondFile(team), team, 0, font);
}

void MeEndCond::ListFsms(int team, const QIFont* font)
{
    Show(g_MeEditor.fsmSelector, AI_GetFsmFilename(team, 0), team, 1, font);
}

int MeEndCond::OnNewRegion(QIWidget*, int event, QIARG)
{
    if (event == QIN_CLICKED) g_MeEditor.regionTool.Arm();
    return event;
}
