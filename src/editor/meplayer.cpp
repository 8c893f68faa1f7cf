#include "editor/meplayer.h"

#include <cstdio>
#include <cstdlib>

#include "core/mlstring.h"
#include "editor/editor.h"
#include "platform/font.h"
#include "units/team.h"
#include "widgets/qibutton.h"
#include "widgets/qidraw.h"
#include "widgets/qidesktop.h"
#include "widgets/qidroplist.h"
#include "widgets/qiedit.h"
#include "widgets/qiitem.h"
#include "widgets/qilayer.h"
#include "widgets/qimenu.h"
#include "widgets/qistatic.h"

enum {
    MEPLR_BUTTONX = 496,
    MEPLR_BUTTONW = 96,
    MEPLR_ROWH = 18,
    MEPLR_GROUPS = 8,
    MEPLR_CREDITDIGITS = 8,
    MEPLR_RELW = 22,
};

// The row the group list last chose; the team's group is the truth.
static int32_t s_group = 0;

static const QIFont* Font(MEFONT* f) { return f ? &f->font : nullptr; }

static void Label(QIWidget* layer, const char* id, const char* text, const IRect& rect)
{
    QIWidget::AddChild(layer, new QIStatic(id, nullptr, rect, text, Font(g_MeEditor.fontSmall), QIJ_LEFT));
}

static QIButton* TextButton(const char* id, const char* title, QIHANDLER fn, const IRect& rect)
{
    MeEditor& me = g_MeEditor;
    return new QIButton(id, fn, rect, title, Font(me.fontA), Font(me.fontB), nullptr);
}

static void BuildSides(QIWidget* layer)
{
    MeEditor& me = g_MeEditor;
    Label(layer, "PlrSide", "Player Side:", IRect(453, 36, 180, 96));
    QIMenu* menu = new QIMenu("PlrSideMenu", MePlayer::OnSide, &me.side);
    QIWidget::AddChild(layer, menu);
    for (int n = 0; n < 4; n++) {
        char id[16], title[16];
        snprintf(id, sizeof id, "PlrSide%d", n);
        snprintf(title, sizeof title, "Side%d", n);
        QIButton* b = TextButton(id, title, nullptr, IRect(MEPLR_BUTTONX, 50 + MEPLR_ROWH * n, MEPLR_BUTTONW, MEPLR_ROWH));
        b->style |= QIBS_LATCHING;
        QIWidget::AddChild(menu, b);
    }
    me.sideWidget = menu;
    menu->SyncFromIndex();
}

static QIWidget* BuildGroup(void)
{
    MeEditor& me = g_MeEditor;
    QIDropList* list = new QIDropList("PlrGroup", MePlayer::OnGroup, IRect(MEPLR_BUTTONX, 176, MEPLR_BUTTONW, MEPLR_ROWH),
                                      IRect(MEPLR_BUTTONX, 196, MEPLR_BUTTONW, MEPLR_ROWH), IPoint(200, 16), QIImage(),
                                      QIImage(), QIImage(), QIImage());
    char format[32];
    MLString_GetOrDefine("PlrGroupLabel", "Team %c", format, sizeof format);
    const QIFont* f = Font(me.fontB);
    for (int g = 0; g < MEPLR_GROUPS; g++) {
        char text[40];
        snprintf(text, sizeof text, format, 'A' + g);
        list->Add(new QIGraphicText(f, f, f, text, &s_group, g, QIJ_LEFT));
    }
    me.groupWidget = list;
    MePlayer::ShowGroup();
    return list;
}

static void BuildRelations(QIWidget* layer)
{
    MeEditor& me = g_MeEditor;
    Label(layer, "PlrRelations", "Player Relations:", IRect(453, 232, 180, 92));
    static const char* const kNames[3] = {"Enemy", "Neutral", "Ally"};
    for (int r = 0; r < MEEDITOR_RELTEAMS; r++) {
        const int labelX = r < 4 ? 458 : 546, buttonX = r < 4 ? 470 : 558;
        const int row = r % 4;
        char id[16], text[4];
        snprintf(id, sizeof id, "Player%d", r);
        snprintf(text, sizeof text, "%d", r + 1);
        Label(layer, id, text, IRect(labelX, 251 + MEPLR_ROWH * row, 12, MEPLR_ROWH));
        QIMenu* menu = new QIMenu("PlayerRelationMenu", MePlayer::OnRelation, &me.teams[r].relation);
        QIWidget::AddChild(layer, menu);
        for (int c = 0; c < 3; c++) {
            const int sx = MEPLR_RELW * c;
            const QIImage normal("coalianc.bmp", IRect(sx, 0, MEPLR_RELW, MEPLR_ROWH), 0);
            const QIImage focus("coalianc.bmp", IRect(sx + 66, 0, MEPLR_RELW, MEPLR_ROWH), 0);
            const QIImage active("coalianc.bmp", IRect(sx + 132, 0, MEPLR_RELW, MEPLR_ROWH), 0);
            QIButton* b = new QIButton(kNames[c], nullptr,
                                       IRect(buttonX + sx, 247 + MEPLR_ROWH * row, MEPLR_RELW, MEPLR_ROWH), normal,
                                       focus, active, active, "", nullptr, nullptr, nullptr);
            b->style |= QIBS_LATCHING;
            QIWidget::AddChild(menu, b);
        }
        me.teams[r].relationWidget = menu;
    }
    // The rows start from the current team's relations.
    me.SyncRelations(1);
}

void MePlayer::BuildLayer(void)
{
    MeEditor& me = g_MeEditor;
    QILayer* layer = new QILayer("PlayerLayer", nullptr, IRect(448, 32, 192, 300), 0);
    QILayer* lower = new QILayer("PlrLayer2", nullptr, IRect(448, 396, 58, 72), 0);
    layer->flags &= ~QIWF_SHOWN;
    QIWidget::AddChild(me.backdrop, layer);
    QIWidget::AddChild(layer, lower);
    BuildSides(layer);
    Label(layer, "PlrOptions", "Player Options:", IRect(453, 144, 180, 78));
    QIWidget::AddChild(layer, TextButton("PlrStartPos", "Start Pos", OnStartPos,
                                         IRect(MEPLR_BUTTONX, 158, MEPLR_BUTTONW, MEPLR_ROWH)));
    const QIFont* small = Font(me.fontSmall);
    const int line = small ? Font_GetHeight(small->slot) : 10;
    Label(layer, "StartCred", "Starting Credits", IRect(458, 203, 72, line));
    QIWidget::AddChild(layer, new QIEdit("StartCredit", OnCredits, IRect(561, 198, 60, line + 2), IPoint(2, 1),
                                         QIEJ_LEFT, me.credits, QIEC_DIGITS, 0, MEPLR_CREDITDIGITS,
                                         g_MeColours[QIC_FACE], small));
    BuildRelations(layer);
    // Last: the list opens over the widgets below it.
    QIWidget::AddChild(layer, BuildGroup());
}

int MePlayer::OnSide(QIWidget*, int event, QIARG)
{
    if (event == QIN_CHANGED) g_MeEditor.SetSide();
    return event;
}

int MePlayer::OnStartPos(QIWidget*, int event, QIARG)
{
    if (event == QIN_CLICKED) g_MeEditor.startPosTool.Arm();
    return event;
}

int MePlayer::OnCredits(QIWidget*, int event, QIARG)
{
    MeEditor& me = g_MeEditor;
    if (!(me.flags & MEF_OPEN) || !me.credits) return event;
    if (event == QIN_ENTER) {
        // Digits only, at most eight of them: the number fits and is never negative.
        const long n = strtol(me.credits->c_str(), nullptr, 10);
        Team_SetCredits(me.team, (int)n);
    }
    if (event == QIN_ENTER || event == QIN_CHANGED) RefreshCredits();
    return event;
}

int MePlayer::OnRelation(QIWidget*, int event, QIARG)
{
    if (event == QIN_CHANGED) g_MeEditor.SyncRelations(0);
    return event;
}

int MePlayer::OnGroup(QIWidget*, int event, QIARG)
{
    MeEditor& me = g_MeEditor;
    if (event != QIN_DROPCLOSE) return event;
    if (me.flags & MEF_OPEN) Team_SetGroup(me.team, s_group);
    ShowGroup();
    return event;
}

void MePlayer::RefreshCredits(void)
{
    MeEditor& me = g_MeEditor;
    if (!(me.flags & MEF_OPEN) || !me.credits) return;
    me.credits->Format(20, "%d", teamdata[me.team].credits);
    // The field shows its own copy of the text, taken from the string only
    // when an edit begins.
    QIEdit* field = me.desktop ? dynamic_cast<QIEdit*>(me.desktop->FindByName("StartCredit")) : nullptr;
    if (!field || field->Editing()) return;
    snprintf(field->buffer, (size_t)field->maxLength + 1, "%s", me.credits->c_str());
    if (!field->IsHidden()) field->Draw(nullptr);
}

void MePlayer::ShowGroup(void)
{
    MeEditor& me = g_MeEditor;
    QIDropList* list = dynamic_cast<QIDropList*>(static_cast<QIWidget*>(me.groupWidget));
    if (!list) return;
    const int g = teamdata[me.team].group;
    s_group = g;
    list->SetCurrent(g >= 0 && g < MEPLR_GROUPS ? g : -1);
    if (!list->IsHidden()) list->Draw(nullptr);
}
