// The editor's keys, one command a key.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>

#include "core/gamestate.h"
#include "editor/editor.h"
#include "editor/mefile.h"
#include "editor/medesk.h"
#include "editorfixture.h"
#include "map/map.h"
#include "platform/input.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qimenu.h"

namespace {

class Keys : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        g_MeEditor.desktop = new QIDesktop("MapEdit", nullptr, QIImage(), "mapedit\\");
        g_MeEditor.view.maxZoom = 3;
        g_GameState = GS_EDITOR;
    }
    void TearDown() override
    {
        g_GameState = GS_FRONTEND;
        EditorTest::TearDown(); // closing the editor deletes its desktop
    }
    static int Press(int code, uint32_t modifiers = 0)
    {
        QIKey key{0, code, 0, modifiers};
        QIPointer p = At(320, 240);
        MeDesktop::HandleEvent(&key, &p);
        return key.code;
    }
    static bool Running(void) { return g_MeEditor.desktop->dflags & QID_RUNNING; }
};

enum { SHIFT = MOD_LSHIFT, CTRL = MOD_CTRL, ALT = MOD_ALT };

} // namespace

TEST_F(Keys, EachKeyDoesItsCommandAndIsConsumed)
{
    struct Row {
        const char* name;
        std::function<void()> before;
        int code;
        uint32_t modifiers;
        std::function<void()> check;
    } rows[] = {
        {"1 is team 0", [] { g_MeEditor.team = 4; }, 2, 0, [] { EXPECT_EQ(g_MeEditor.team, 0); }},
        {"9 is team 8, the neutral one", [] {}, 10, SHIFT, [] { EXPECT_EQ(g_MeEditor.team, 8); }},
        {"- at zoom 1 stays", [] { g_MeEditor.view.zoom = 1; }, 12, 0, [] { EXPECT_EQ(g_MeEditor.view.zoom, 1); }},
        {"= zooms in", [] {}, 13, 0, [] { EXPECT_EQ(g_MeEditor.view.zoom, 2); }},
        {"= at the map's largest zoom stays", [] { g_MeEditor.view.zoom = 3; }, 13, 0,
         [] { EXPECT_EQ(g_MeEditor.view.zoom, 3); }},
        {"- zooms out", [] {}, 12, 0, [] { EXPECT_EQ(g_MeEditor.view.zoom, 2); }},
        {"A shows the altitudes", [] { g_MeEditor.flags &= ~MEF_ALTITUDES; }, 30, 0,
         [] { EXPECT_TRUE(g_MeEditor.flags & MEF_ALTITUDES); }},
        {"A again hides them", [] {}, 30, CTRL, [] { EXPECT_FALSE(g_MeEditor.flags & MEF_ALTITUDES); }},
        {"Ctrl+Q with nothing open stays",
         [] { g_MeEditor.flags &= ~MEF_OPEN; }, 16, CTRL,
         [] {
             EXPECT_TRUE(Running());
             EXPECT_EQ(g_GameState, GS_EDITOR);
         }},
        {"Shift+Q leaves to the front end", [] {}, 16, SHIFT,
         [] {
             EXPECT_FALSE(Running());
             EXPECT_EQ(g_GameState, GS_FRONTEND);
         }},
        {"Alt+Q leaves the program", [] { g_MeEditor.desktop->dflags |= QID_RUNNING; }, 16, ALT,
         [] {
             EXPECT_FALSE(Running());
             EXPECT_EQ(g_GameState, GS_QUIT);
         }},
        {"Ctrl+Q with a scenario plays it",
         [] {
             g_MeEditor.flags |= MEF_OPEN;
             g_MeEditor.desktop->dflags |= QID_RUNNING;
             g_MeEditor.category = 1;
             MeMenuFile::StoreBaseline(); // unmodified: nothing to ask
         },
         16, CTRL,
         [] {
             EXPECT_FALSE(Running());
             EXPECT_EQ(g_GameState, GS_NEWGAME);
         }},
        {"an unknown key", [] {}, 59, 0, [] {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        r.before();
        EXPECT_EQ(Press(r.code, r.modifiers), 0);
        r.check();
    }
}

TEST_F(Keys, ADigitMakesTheTeamMenuShowTheNewTeamRegression)
{
    // Without the sync the old team's button stays pressed, and pressing it does nothing.
    QIMenu* menu = new QIMenu("TeamMenu", nullptr, &g_MeEditor.team);
    QIWidget::AddChild(nullptr, menu);
    for (int t = 0; t < MEEDITOR_TEAMS; t++) QIWidget::AddChild(menu, new QIButton("Team", nullptr));
    g_MeEditor.teamMenu = menu;
    menu->SetCurrent(menu->FirstChild());
    Press(5); // team 3
    ASSERT_NE(menu->current, nullptr);
    int index = 0;
    for (QIWidget* c = menu->FirstChild(); c != menu->current; c = c->Next()) index++;
    EXPECT_EQ(index, 3);
    EXPECT_FALSE(menu->FirstChild()->flags & QIWF_DOWN);
    g_MeEditor.teamMenu = nullptr;
}

TEST_F(Keys, AltRRaisesEveryAltitudeAndRChangesOnlyTheVariationBits)
{
    for (int y = 0; y < mapsizey; y++)
        for (int x = 0; x < mapsizex; x++) {
            MAP_ELEMENT* e = MAP_ELEMENT_AT(x, y);
            e->altitude = e->initalt = (uint32_t)((x + y) % 17);
            e->tile = 0x12345u | (uint32_t)(x * 131 + y) << 21;
        }
    Press(19, ALT);
    for (int y = 0; y < mapsizey; y++)
        for (int x = 0; x < mapsizex; x++) {
            const int old = (x + y) % 17;
            const int expect = old > 15 || old == 0 ? 2 : old >= 12 ? 15 : old + 3;
            ASSERT_EQ((int)MAP_ELEMENT_AT(x, y)->altitude, expect) << x << "," << y;
        }
    Press(19, CTRL);
    EXPECT_EQ(MAP_ELEMENT_AT(3, 3)->tile & 0x1f0000u, 0x10000u) << "Ctrl+R does nothing";
    Press(19);
    int changed = 0;
    for (int y = 0; y < mapsizey; y++)
        for (int x = 0; x < mapsizex; x++) {
            const uint32_t t = MAP_ELEMENT_AT(x, y)->tile;
            ASSERT_EQ(t & ~0x1f0000u, 0x02345u | (uint32_t)(x * 131 + y) << 21);
            changed += (t & 0x1f0000u) != 0x10000u;
        }
    EXPECT_GT(changed, mapsizex * mapsizey / 2);
}

namespace {

// Every run numbered its shots from the counter alone, so a run wrote over
// the shots of the runs before it.
class PlayerViewEditorShots : public Keys {};

} // namespace

// Rows: one earlier shot at the next number; every number up to 9999 taken
// (the last of them was once written over).
TEST_F(PlayerViewEditorShots, AShotWroteOverOneOfAnEarlierRun)
{
    for (const bool full : {false, true}) {
        SCOPED_TRACE(full);
        QvTempDir here(true);
        char earlier[32], shot[32];
        const int next = MeDesktop::ScreenshotCounter();
        const int last = full ? std::max(next, 9999) : next;
        for (int n = next; n <= last; n++) {
            snprintf(earlier, sizeof earlier, "mscr%04d.pcx", n);
            std::ofstream(here.file(earlier)) << "an earlier run's";
        }
        snprintf(shot, sizeof shot, "mscr%04d.pcx", last + 1);
        EXPECT_EQ(Press(44, SHIFT), 0);
        EXPECT_TRUE(here.read(earlier) == "an earlier run's") << earlier << " was written over";
        EXPECT_NE(here.read(shot), "") << "the shot took the next free number";
        EXPECT_EQ(MeDesktop::ScreenshotCounter(), last + 2);
    }
}
