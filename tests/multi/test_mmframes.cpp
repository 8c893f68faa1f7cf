// The pages as they look, against golden frames. To record new values after
// a deliberate change: run test_multi --gtest_filter='MmFrames.*'; a
// mismatch prints the value and writes a PCX to look at.
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/debug.h"
#include "core/gll.h"
#include "core/mlstring.h"
#include "mmfixture.h"
#include "core/gamestate.h"
#include "core/utils.h"
#include "multi/mmchat.h"
#include "multi/mmframe.h"
#include "multi/mminet.h"
#include "multi/mmipx.h"
#include "multi/mmmain.h"
#include "multi/mmmodem.h"
#include "multi/mmserial.h"
#include "net/net.h"
#include "platform/bmp.h"
#include "platform/graph.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "support/golden.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qidroplist.h"
#include "widgets/qiedit.h"
#include "widgets/qiimage.h"
#include "widgets/qilist.h"
#include "widgets/qislider.h"

namespace {

// Where a mismatching frame goes: the test's own directory, not the
// temporary one the menus run in.
const std::string kOut = [] {
    char cwd[4096];
    return std::string(getcwd(cwd, sizeof cwd) ? cwd : ".") + "/";
}();

class MmFrames : public MmFixture {
protected:
    void SetUp() override
    {
        MmFixture::SetUp();
        dir.write("Address.txt", "INTERNET ADDRESSES:\nPlayer 2\n10.0.0.2\nPlayer 3\n10.0.0.3\nPlayer 4\nnowhere\n\n"
                                 "PHONE ADDRESSES:\n");
    }
    void TearDown() override
    {
        if (!scenarioBase.empty()) Str_CopySafe(g_ScenarioBaseDir, scenarioBase.c_str(), sizeof g_ScenarioBaseDir);
        MmFixture::TearDown();
    }
    // The menus built, a game on the given test map hosted over UDP and its
    // staging page shown.
    void HostOnStaging(const char* map)
    {
        scenarioBase = g_ScenarioBaseDir;
        Str_CopySafe(g_ScenarioBaseDir, QV_TEST_RUNDIR "/scenario", sizeof g_ScenarioBaseDir);
        Game_SetScenarioCategory(SC_MULTI);
        Game_SetScenarioName(map);
        Build();
        MemoryNetwork(NET_TYPE_UDP);
        Net_BeginSession();
        Net_HostGame();
        MM_chat_enter_from(MM_inet_page());
    }
    ::testing::AssertionResult Frame(uint32_t golden, const char* file)
    {
        BITMAP* bb = Backbuf_Lock();
        if (!bb) return ::testing::AssertionFailure() << "no back buffer";
        for (QIWidget* w = desktop->first; w; w = w->Next()) w->MarkTree();
        desktop->Draw(nullptr, nullptr);
        return DemoFixture_Matches(bb->data, g_Palette, golden, file);
    }

    std::string scenarioBase; // the base directory HostOnStaging replaced
};

TEST_F(MmFrames, ConnectionPage)
{
    Build();
    EXPECT_TRUE(Frame(0x1E6C0065u, (kOut + "mm_connection.pcx").c_str()));
}

TEST_F(MmFrames, InternetPageWithRows)
{
    Build();
    MemoryNetwork(NET_TYPE_UDP);
    ASSERT_EQ(MM_inet_start(), 1);
    Mm_SwitchPage(MM_main_page(), MM_inet_page());
    MM_inet_poll();
    Found(Udp(2), NET_SESSION_OPEN, 2, "Player 2's Game");
    MM_inet_poll();
    MM_inet_list()->SetCurrent(0);
    EXPECT_TRUE(Frame(0xCFC180FDu, (kOut + "mm_internet.pcx").c_str()));
}

TEST_F(MmFrames, IpxPageWithRows)
{
    Build();
    MemoryNetwork(NET_TYPE_IPX);
    ASSERT_EQ(MM_ipx_start(), 1);
    Mm_SwitchPage(MM_main_page(), MM_ipx_page());
    Found(Udp(2), NET_SESSION_OPEN, 2, "Player 2's Game");
    Found(Udp(3), NET_SESSION_OPEN | NET_SESSION_LAUNCHED, 1, "Player 3's Game");
    MM_ipx_games()->SetCurrent(0);
    MM_ipx_poll();
    EXPECT_TRUE(Frame(0x0CADC195u, (kOut + "mm_ipx.pcx").c_str()));
}

TEST_F(MmFrames, ErrorBox)
{
    Build();
    for (QIWidget* w = desktop->first; w; w = w->Next()) w->MarkTree();
    desktop->Draw(nullptr, nullptr);
    QvPassScript s;
    s.Wait(10, 2);
    Click(s, 314, 273);
    s.stopWhenDone = false;
    bool seen = false;
    s.onPass = [&](int pass) {
        if (pass != 2) return;
        const uint8_t* pixels;
        const PAL_RGB* palette;
        ASSERT_TRUE(PlatHeadless_LastFrame(&pixels, &palette));
        EXPECT_TRUE(DemoFixture_Matches(pixels, palette, 0x03C3337Cu, (kOut + "mm_error.pcx").c_str()));
        seen = true;
    };
    Mm_PopError(&MM_menu, "Error!", "%s", "IPX Not Available");
    EXPECT_TRUE(seen);
}

// Pop-ups that show only the top of their picture, or stack texts on it:
// the cut ends with the whole picture's bottom edges, and nothing of the
// picture runs through a text's band.
TEST_F(MmFrames, PopUpPicturesFitHowTheyAreCutAndWritten)
{
    struct ROW {
        const char* name;
        const char* file;
        int cut;            // rows shown of the picture; 0: none cut
        int bandX, bandY, bandW, bandH; // a text's band, one colour
    } rows[] = {
        {"Connecting and Searching: 130 rows", "pop_1pic.bmp", 130, 37, 39, 316, 70},
        {"the call status: its kind under the title", "pop_mod.bmp", 0, 35, 19, 114, 19},
    };
    for (const ROW& r : rows) {
        uint8_t* px = nullptr;
        int depth = 0, w = 0, h = 0;
        ASSERT_EQ(Bmp_Read((std::string(QV_TEST_RUNDIR "/data/multmenu/") + r.file).c_str(), &px, nullptr, &depth, &w,
                           &h),
                  BMP_OK)
            << r.name;
        auto at = [&](int x, int y) { return px[(size_t)y * w + x]; };
        auto sameRows = [&](int a, int b, int from, int to) {
            for (int x = from; x < to; x++)
                if (at(x, a) != at(x, b)) return false;
            return true;
        };
        if (r.cut) {
            EXPECT_TRUE(sameRows(r.cut - 1, h - 1, 1, w - 1)) << r.name << ": the outer bottom edge";
            EXPECT_TRUE(sameRows(r.cut - 5, h - 5, 5, w - 5)) << r.name << ": the inner bottom edge";
        }
        bool plain = true;
        for (int y = r.bandY; y < r.bandY + r.bandH; y++)
            for (int x = r.bandX; x < r.bandX + r.bandW; x++) plain = plain && at(x, y) == at(r.bandX, r.bandY);
        EXPECT_TRUE(plain) << r.name << ": the text's band";
        Debug_Free(&px);
    }
}

TEST_F(MmFrames, StagingPageAsCreatorWithTwoGuestsAndAComputer)
{
    HostOnStaging("DUEL");
    static const struct {
        const char* name;
        int type, colour;
    } kRows[] = {{"Bravo", NET_SLOT_HUMAN, 3}, {"Charlie", NET_SLOT_HUMAN, 8}, {"", COMPUTER_MEDIUM, 5}};
    Net_Lock();
    g_NetSettings.node[0].colour = 1;
    for (int i = 0; i < 3; i++) {
        g_NetSession.players[i + 1].flags = NET_PLAYER_ACTIVE | (i == 0 ? NET_PLAYER_READY : 0);
        snprintf(g_NetSession.players[i + 1].name, NET_NAME_SIZE, "%s", kRows[i].name);
        g_NetSettings.slottypes[i + 1] = (uint8_t)kRows[i].type;
        g_NetSettings.node[i + 1].colour = (uint8_t)kRows[i].colour;
    }
    Net_Unlock();
    MM_chat_add_line(1, "hello all");
    MM_chat_poll();
    EXPECT_TRUE(Frame(0x9EC7F1C0u, (kOut + "mm_staging.pcx").c_str()));
}

// One step of a staging list's scroll button: the lines used to be drawn
// over the old ones (the list draws its text over the page's picture
// without filling its cells), and both became unreadable.
class PlayerViewMenusFrames : public MmFrames {};

TEST_F(PlayerViewMenusFrames, AScrolledStagingListShowsOnlyItsNewLines)
{
    HostOnStaging("DUEL");
    for (int i = 1; i <= 10; i++) {
        char line[40];
        snprintf(line, sizeof line, "line %d of the chat, %s", i, i % 2 ? "odd" : "even");
        MM_chat_add_message(line, -1);
    }
    BITMAP* bb = Backbuf_Lock();
    ASSERT_NE(bb, nullptr);
    for (QIWidget* w = desktop->first; w; w = w->Next()) w->MarkTree();
    desktop->Draw(nullptr, nullptr);
    QISlider* bar = MM_chat.msglist->vScroll;
    ASSERT_NE(bar, nullptr);
    const int before = MM_chat.msglist->scroll.y;
    bar->OnChildNotify(bar->decButton, QIN_PRESSED, 0); // the up button, as a press sends it
    EXPECT_EQ(MM_chat.msglist->scroll.y, before - 13);
    EXPECT_TRUE(DemoFixture_Matches(bb->data, g_Palette, 0x2573405Au, (kOut + "mm_staging_scrolled.pcx").c_str()));
}

// The lists' step arrows were handed to their bars unplaced: empty
// rectangles, never drawn and never clicked. They are the bars' end squares.
TEST_F(PlayerViewMenusFrames, TheListsStepArrowsHadNoPlaceOnTheirBars)
{
    HostOnStaging("DUEL");
    struct ROW {
        const char* name;
        QIList* list;
        int x, top, bottom; // the bar's column and its first and last rows
    } rows[] = {{"rules", MM_chat.rulelist, 297, 190, 250}, {"messages", MM_chat.msglist, 297, 272, 354}};
    for (const ROW& r : rows) {
        const QISlider* bar = r.list->vScroll;
        ASSERT_TRUE(bar && bar->decButton && bar->incButton) << r.name;
        const QIWidget *up = bar->decButton, *down = bar->incButton;
        EXPECT_EQ((std::vector<int>{up->x, up->y, up->w, up->h}), (std::vector<int>{r.x, r.top, 16, 16})) << r.name;
        EXPECT_EQ((std::vector<int>{down->x, down->y, down->w, down->h}), (std::vector<int>{r.x, r.bottom - 15, 16, 16}))
            << r.name;
    }
}

// Chat lines that come while the page shows: the list is repainted with
// the desktop's palette loaded, and its scroll bar, beside the list, used
// to keep the old thumb (the whole track) instead of one at the new end.
TEST_F(PlayerViewMenusFrames, TheMessagesThumbFollowsTheListsEndAsLinesCome)
{
    HostOnStaging("DUEL");
    BITMAP* bb = Backbuf_Lock();
    ASSERT_NE(bb, nullptr);
    for (QIWidget* w = desktop->first; w; w = w->Next()) w->MarkTree();
    desktop->Draw(nullptr, nullptr);
    const bool hadPalette = desktop->palette != nullptr;
    if (!hadPalette) desktop->palette = new uint8_t[768]();
    for (int i = 1; i <= 10; i++) MM_chat_add_message("a line of the chat", -1);
    const QISlider* bar = MM_chat.msglist->vScroll;
    ASSERT_NE(bar, nullptr);
    // The thumb's face just above the bar's bottom edge; the track is 0xFC.
    EXPECT_EQ(bb->data[(size_t)(bar->y + bar->h - 4) * bb->x_size + bar->x + bar->w / 2], g_MmColours[QIC_FACE]);
    if (!hadPalette) {
        delete[] desktop->palette;
        desktop->palette = nullptr;
    }
}

// The menus' colour table names entries that are terrain colours in the
// game's palette, which the pictures carried: the bars' thumbs had a dark
// green light edge over a near-white shadow (sunken), and a focused field's
// purple fill took its gold text below 4.5:1.
TEST_F(PlayerViewMenusFrames, TheThumbsWereDrawnSunkenAndAFocusedFieldPurple)
{
    HostOnStaging("DUEL");
    uint8_t pal[768]; // the palette the desktop shows the pages in
    ASSERT_TRUE(QI_LoadPalette(pal, desktop->background.file.c_str(), desktop->bitmapDir));
    auto luminance = [&](uint8_t i) {
        double l = 0;
        for (int k = 0; k < 3; k++) {
            const double c = pal[3 * i + k] * 4 / 255.0, weight = k == 0 ? 0.2126 : k == 1 ? 0.7152 : 0.0722;
            l += weight * (c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
        }
        return l;
    };
    for (int i = 1; i <= 10; i++) {
        MM_chat_add_message("a line of the chat", -1);
        MM_chat_add_rule_text("a rule");
    }
    MM_chat.ed_game_name->flags |= QIWF_FOCUS;
    BITMAP* bb = Backbuf_Lock();
    ASSERT_NE(bb, nullptr);
    for (QIWidget* w = desktop->first; w; w = w->Next()) w->MarkTree();
    desktop->Draw(nullptr, nullptr);
    auto at = [&](int x, int y) { return bb->data[(size_t)y * bb->x_size + x]; };
    struct ROW {
        const char* name;
        QIList* list;
    } rows[] = {{"rules", MM_chat.rulelist}, {"messages", MM_chat.msglist}};
    for (const ROW& r : rows) {
        const QISlider* bar = r.list->vScroll;
        ASSERT_TRUE(bar && bar->range && *bar->range) << r.name;
        const int top = bar->y + bar->thumbPos, bottom = top + bar->thumbLength;
        const int middle = (top + bottom) / 2, centre = bar->x + bar->w / 2;
        EXPECT_GT(luminance(at(bar->x + 1, middle)), luminance(at(bar->x + bar->w - 1, middle))) << r.name;
        EXPECT_GT(luminance(at(centre, top + 1)), luminance(at(centre, bottom - 1))) << r.name;
    }
    const QIEdit* field = MM_chat.ed_game_name;
    const uint8_t fill = at(field->x + 2, field->y + 2);
    EXPECT_LE((int)pal[3 * fill], (int)pal[3 * fill + 1]) << "a purple fill";
    double worst = 0; // the text's lowest contrast with the fill
    for (int y = field->y + 1; y < field->y + field->h; y++)
        for (int x = field->x + 5; x < field->x + field->w - 5; x++) {
            const double ratio = (luminance(at(x, y)) + 0.05) / (luminance(fill) + 0.05);
            if (at(x, y) != fill && (worst == 0 || ratio < worst)) worst = ratio;
        }
    EXPECT_GE(worst, 4.5) << "0: no text";
}

TEST_F(MmFrames, SerialPage)
{
    Build();
    MM_serial_start();
    // The machine's own serial devices left out: the rows are the test's.
    QIList* ports = MM_serial_ports();
    ports->Clear();
    for (const char* p : {"/dev/ttyUSB0", "/tmp/qvline-a"}) ports->Add(new MMScrollSerial(&MM_menu.fonts[MM_FONT_TEXT], p, 172));
    ports->SetCurrent(1);
    MM_serial_speeds()->SetCurrent(6);
    Mm_SwitchPage(MM_main_page(), MM_serial_page());
    EXPECT_TRUE(Frame(0x4E8AEEDEu, (kOut + "mm_serial.pcx").c_str()));
}

TEST_F(MmFrames, ModemPageWithItsStatusPopup)
{
    dir.write("Address.txt", "INTERNET ADDRESSES:\n\nPHONE ADDRESSES:\nPlayer 2\n5551234\nAnna\n5550009\n");
    ASSERT_GT(MLString_Load(QV_TEST_RUNDIR "/data/mlstring.cfg"), 0);
    Build();
    MM_modem_start();
    MM_modem_add_device(0, "/tmp/qvmodem-a", 57600);
    MM_modem_modems()->SetCurrent(0);
    MM_modem_phones()->SetCurrent(1);
    Mm_SwitchPage(MM_main_page(), MM_modem_page());
    MM_modem_dial(nullptr, QIN_CLICKED, 0);
    for (const char* id : {"ModemStatusDialTone", "ModemStatusDialing", "ModemStatusDisconnectedBusy"})
        MM_modem_status_line(id);
    EXPECT_TRUE(Frame(0x48E599D9u, (kOut + "mm_modem.pcx").c_str()));
    MLString_Unload();
}

TEST_F(MmFrames, StagingOptionsSetAndTheMapChooserOpen)
{
    HostOnStaging("MELEE");
    // As the lists' choices leave them: entry and value alike.
    MM_chat.drp_fogstyle->SetCurrent(MM_chat.fogstyle = 2);
    MM_chat.drp_allowteams->SetCurrent(MM_chat.allowalliances = 0);
    MM_chat.drp_allowhandicaps->SetCurrent(MM_chat.allowhandicap = 1);
    MM_chat.drp_startingunits->SetCurrent(MM_chat.startingunits = 1);
    MM_chat_options_changed(nullptr, QIN_DROPCLOSE, 0);
    MM_chat_set_locations(nullptr, QIN_CLICKED, 0);
    MM_chat_show_minimap(nullptr, QIN_CLICKED, 0);
    MM_chat_poll();
    EXPECT_TRUE(Frame(0xC46E8834u, (kOut + "mm_options.pcx").c_str()));
    QvPassScript s;
    s.stopWhenDone = false;
    bool seen = false;
    s.onPass = [&](int pass) {
        QIWidget* list = Find("ChatSelectMapList");
        if (pass == 0 && list) {
            s.Add(QvMove(list->x + 10, list->y + 13 + 6)).Wait(10);
            s.Add(QvButton(1)).Add(QvButton(0)).Wait(10, 3);
            s.Add(QvMove(1, 1)).Wait(10);
        }
        if (pass != 8) return;
        const uint8_t* pixels;
        const PAL_RGB* palette;
        ASSERT_TRUE(PlatHeadless_LastFrame(&pixels, &palette));
        EXPECT_TRUE(DemoFixture_Matches(pixels, palette, 0x36D90B9Fu, (kOut + "mm_selectmap.pcx").c_str()));
        seen = true;
        if (QIWidget* cancel = Find("ChatSelectMapCancel")) Click(s, cancel->x + 10, cancel->y + 10);
    };
    MM_chat_select_map(nullptr, QIN_CLICKED, 0);
    EXPECT_TRUE(seen);
}

} // namespace
