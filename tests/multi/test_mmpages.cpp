// The menus' frame and the connection, internet-address and IPX pages,
// in-process: handlers called as clicks would call them, polls run by
// hand, pop-ups answered by scripted clicks, the network in memory.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "core/addrbook.h"
#include "core/debug.h"
#include "core/gll.h"
#include "core/utils.h"
#include "core/gamestate.h"
#include "core/mlstring.h"
#include "mmfixture.h"
#include "multi/mmframe.h"
#include "multi/mminet.h"
#include "multi/mmipx.h"
#include "multi/mmmain.h"
#include "net/memnet.h"
#include "net/net.h"
#include "net/udp.h"
#include "platform/font.h"
#include "platform/plat.h"
#include "platform/thread.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qiedit.h"
#include "widgets/qilist.h"

namespace {

const int OK_X = 314, OK_Y = 273, YES_X = 252, NO_X = 373, ANSWER_Y = 268;

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

class MmFrame : public MmFixture {};

TEST_F(MmFrame, TheBuildShowsTheConnectionPageOnly)
{
    Build();
    EXPECT_TRUE(Shown("MultiMenuMain"));
    EXPECT_FALSE(Shown("MultiMenuInternet"));
    EXPECT_FALSE(Shown("MultiMenuIpx"));
    for (int slot = 0; slot < MM_FONTS; slot++) EXPECT_TRUE(Font_IsLoaded(slot)) << g_MmFontFiles[slot];
    EXPECT_EQ(g_ScenarioCategory, SC_MULTI);
    EXPECT_EQ(g_QIColours, g_MmColours);
    Mm_Close();
    EXPECT_EQ(g_QIColours, g_MmColours) << "the colour table stays after the menus";
    EXPECT_EQ(g_QIDesktop, nullptr);
}

TEST_F(MmFrame, TheErrorBoxTakesItsTextFromTheDescriptionOnlyWhenItFits)
{
    dir.write("strings/mlstring.cfg", "english.str\n");
    dir.write("strings/english.str", "#define KnownDesc \"Known %s said %s\"\n#define OddDesc \"Odd %d\"\n");
    ASSERT_GT(MLString_Load(dir.file("strings/mlstring.cfg").c_str()), 0);
    Build();
    struct ROW {
        const char* name;
        const char* key;
        const char* shown;
        size_t defines;
    } rows[] = {
        {"no description", "Missing", "Missing box: reason", 1},
        {"asked again", "Missing", "Missing box: reason", 1},
        {"description", "Known", "Known Known said reason", 0},
        {"other conversions", "Odd", "Odd box: reason", 0},
    };
    for (const ROW& r : rows) {
        QvLogCapture log(0x1000);
        QvPassScript s;
        Click(s, OK_X, OK_Y);
        s.stopWhenDone = false;
        Mm_PopError(&MM_menu, r.key, "%s box: %s", r.key, "reason");
        EXPECT_NE(log.text().find(std::string("[") + r.key + "]: " + r.shown), std::string::npos) << r.name;
        EXPECT_EQ(Count(log.text(), "#define " + std::string(r.key) + "Desc"), r.defines) << r.name;
        EXPECT_FALSE(s.overran) << r.name;
        EXPECT_EQ(Find("PopError"), nullptr) << r.name << ": the box is gone";
    }
    MLString_Unload();
}

TEST_F(MmFrame, TheQuestionBoxGivesTheAnswersCode)
{
    Build();
    for (int yes = 0; yes < 2; yes++) {
        QvPassScript s;
        Click(s, yes ? YES_X : NO_X, ANSWER_Y);
        s.stopWhenDone = false;
        EXPECT_EQ(Mm_PopYesNo(&MM_menu, "Quit?", "Leave %s?", "now"), yes ? MM_POP_YES : MM_POP_NO);
    }
}

TEST_F(MmFrame, MainMenuEndsInTheFrontEndAndEachVisitStartsAfresh)
{
    dir.write("Address.txt", "INTERNET ADDRESSES:\nPlayer 2\n127.0.0.2\n\nPHONE ADDRESSES:\n");
    long blocks = -1;
    for (int visit = 0; visit < 2; visit++) {
        QvLogCapture log(0x1000);
        QvPassScript s;
        Click(s, 321, 426);
        g_GameState = GS_MULTIMENU;
        Mm_Main();
        EXPECT_EQ(g_GameState, GS_FRONTEND);
        EXPECT_FALSE(s.overran);
        EXPECT_EQ(MM_menu.desktop, nullptr);
        EXPECT_EQ(g_AddressBookInternet, nullptr) << "the book goes with the menus";
        EXPECT_NE(log.text().find("Multi Menu has shutdown."), std::string::npos);
        // The second visit gives back all it took, as the first did.
        if (visit == 1) {
            EXPECT_EQ(Debug_LiveBlocks(), blocks);
        }
        blocks = Debug_LiveBlocks();
        // The next visit reads the book again: a second entry shows there.
        dir.write("Address.txt", "INTERNET ADDRESSES:\nPlayer 2\n127.0.0.2\nPlayer 3\n127.0.0.3\n\nPHONE ADDRESSES:\n");
    }
    Build();
    EXPECT_EQ(MM_inet_list()->count, 2);
}

class MmConnection : public MmFixture {};

TEST_F(MmConnection, TheNameIsStoredOnlyWhenItChanged)
{
    struct ROW {
        const char* name;
        const char* typed;
        bool written;
    } rows[] = {
        {"same", "Player 1", false},
        {"case only", "player 1", true},
        {"other", "Ann", true},
        {"empty", "", true},
    };
    for (const ROW& r : rows) {
        Str_CopySafe(g_CfgPlayerName, "Player 1", sizeof g_CfgPlayerName);
        dir.write("quorvex.cfg", "MultiPlayerConfiguration\n{\n    SetPlayerName    \"Player 1\"\n}\n");
        Build();
        Str_CopySafe(g_NetPlayerName, r.typed, sizeof g_NetPlayerName);
        MM_main_exit(nullptr, QIN_CLICKED, 0);
        EXPECT_EQ(g_GameState, GS_FRONTEND) << r.name;
        EXPECT_STREQ(g_CfgPlayerName, r.typed) << r.name;
        const bool changed = dir.read("quorvex.cfg").find("\"Player 1\"") == std::string::npos;
        EXPECT_EQ(changed, r.written) << r.name;
        if (r.written) {
            EXPECT_NE(dir.read("quorvex.cfg").find(std::string("\"") + r.typed + "\""), std::string::npos);
        }
        Mm_Close();
    }
}

TEST_F(MmConnection, ALongConfiguredNameIsCutAndTypingStopsAt15)
{
    Str_CopySafe(g_CfgPlayerName, "Twenty characters ab", sizeof g_CfgPlayerName);
    Build();
    EXPECT_STREQ(g_NetPlayerName, "Twenty characte");
    QIEdit* field = static_cast<QIEdit*>(Find("MainPlayerName"));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->maxLength, MM_NAME_MAX);
    QvPassScript s;
    Click(s, 300, 104);
    s.Add(QvKey(14)); // Backspace: room for one, then more typed than that
    for (int i = 0; i < 5; i++) {
        QvPass p = QvKey(0x1E);
        p.character = 'a';
        s.Add(p);
    }
    s.Add(QvKey(28)); // Enter commits
    desktop->EventLoop(nullptr, 1);
    EXPECT_STREQ(g_NetPlayerName, "Twenty characta");
}

// The carrier can't start: its port is taken on the test's own address.
TEST_F(MmConnection, ACarrierThatCannotStartLeavesPageAndNameAlone)
{
    setenv("QUORVEX_NETADDRESS", "127.0.0.9", 1);
    int socks[2];
    const int ports[2] = {UDP_PORT, 1640}; // UDP's, and the emulated IPX socket's
    for (int i = 0; i < 2; i++) {
        socks[i] = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons((uint16_t)ports[i]);
        at.sin_addr.s_addr = inet_addr("127.0.0.9");
        ASSERT_EQ(bind(socks[i], (sockaddr*)&at, sizeof at), 0);
    }
    struct ROW {
        const char* name;
        int (*handler)(QIWidget*, int, QIARG);
        const char* text;
    } rows[] = {{"internet", MM_main_internet, "Internet Not Available"}, {"ipx", MM_main_ipx, "IPX Not Available"}};
    Build();
    for (const ROW& r : rows) {
        Str_CopySafe(g_NetPlayerName, "Changed", sizeof g_NetPlayerName);
        QvLogCapture log(0x1000);
        QvPassScript s;
        Click(s, OK_X, OK_Y);
        s.stopWhenDone = false;
        r.handler(nullptr, QIN_CLICKED, 0);
        EXPECT_NE(log.text().find(std::string("[Error!]: ") + r.text), std::string::npos) << r.name << log.text();
        EXPECT_TRUE(Shown("MultiMenuMain")) << r.name;
        EXPECT_STREQ(g_CfgPlayerName, "Player 1") << r.name;
        EXPECT_NE(dir.read("quorvex.cfg").find("\"Player 1\""), std::string::npos) << r.name;
    }
    close(socks[0]);
    close(socks[1]);
    unsetenv("QUORVEX_NETADDRESS");
}

class MmInternet : public MmFixture {
protected:
    void SetUp() override
    {
        MmFixture::SetUp();
        dir.write("Address.txt", "INTERNET ADDRESSES:\nbob\n10.0.0.2\nAnn\n10.0.0.3\nbad\nnot.an.address\nall\n"
                                 "255.255.255.255\n\nPHONE ADDRESSES:\n");
        Build();
        MemoryNetwork(NET_TYPE_UDP);
        ASSERT_EQ(MM_inet_start(), 1);
    }
    MMScrollInetAddress* Row(int i) { return static_cast<MMScrollInetAddress*>(MM_inet_list()->ItemAt(i)); }
    std::string Names(void)
    {
        std::string s;
        for (int i = 0; i < MM_inet_list()->count; i++) s += Row(i)->name + "=" + Row(i)->address + ";";
        return s;
    }
    void Type(const char* name, const char* address)
    {
        static_cast<QIEdit*>(Find("InetEditName"))->bound->Set(name);
        QIWidget* second = Find("InetEditName")->Next();
        static_cast<QIEdit*>(second)->bound->Set(address);
    }
    int Sent(int type)
    {
        int n = 0;
        for (const MemDatagram& d : MemNet_Sent()) n += (int)(Net_Type(&d.packet) & 0xFF) == type;
        return n;
    }
};

TEST_F(MmInternet, RowsFollowTheBookInNameOrder)
{
    EXPECT_EQ(Names(), "all=255.255.255.255;Ann=10.0.0.3;bad=not.an.address;bob=10.0.0.2;");
    EXPECT_EQ(Row(0)->status, "...");
}

TEST_F(MmInternet, EditingTheBook)
{
    struct STEP {
        const char* name;
        int (*handler)(QIWidget*, int, QIARG);
        int current;              // row picked first, -1 none
        const char* typed[2];     // into the fields before the handler; null: nothing
        const char* book;         // rows after
        bool written;
    } steps[] = {
        {"idle accept", MM_inet_accept, -1, {nullptr, nullptr},
         "all=255.255.255.255;Ann=10.0.0.3;bad=not.an.address;bob=10.0.0.2;", false},
        {"add", MM_inet_add_player, -1, {nullptr, nullptr}, nullptr, false},
        {"accept the added", MM_inet_accept, -1, {"Cy", "10.0.0.4"},
         "all=255.255.255.255;Ann=10.0.0.3;bad=not.an.address;bob=10.0.0.2;Cy=10.0.0.4;", true},
        {"edit", MM_inet_edit_player, 3, {nullptr, nullptr}, nullptr, false},
        {"accept a case change", MM_inet_accept, -1, {"Bob", "10.0.0.2"},
         "all=255.255.255.255;Ann=10.0.0.3;bad=not.an.address;Bob=10.0.0.2;Cy=10.0.0.4;", true},
        {"add then cancel", MM_inet_add_player, -1, {nullptr, nullptr}, nullptr, false},
        {"cancel", MM_inet_cancel, -1, {"Dee", "10.0.0.5"},
         "all=255.255.255.255;Ann=10.0.0.3;bad=not.an.address;Bob=10.0.0.2;Cy=10.0.0.4;", false},
        {"delete", MM_inet_delete_player, 2, {nullptr, nullptr},
         "all=255.255.255.255;Ann=10.0.0.3;Bob=10.0.0.2;Cy=10.0.0.4;", true},
    };
    for (const STEP& st : steps) {
        unlink(dir.file("Address.txt").c_str());
        if (st.current >= 0) MM_inet_list()->SetCurrent(st.current);
        if (st.typed[0]) Type(st.typed[0], st.typed[1]);
        st.handler(nullptr, QIN_CLICKED, 0);
        if (st.book) {
            EXPECT_EQ(Names(), st.book) << st.name;
        }
        EXPECT_EQ(dir.read("Address.txt") != "", st.written) << st.name;
        for (int i = 0; st.written && i < MM_inet_list()->count; i++) {
            EXPECT_NE(dir.read("Address.txt").find(Row(i)->name + "\n" + Row(i)->address), std::string::npos)
                << st.name;
        }
    }
    EXPECT_TRUE(Find("InetEditName")->flags & QIWF_DISABLED) << "the fields close again";
}

TEST_F(MmInternet, AnEntryLongerThanTheFieldsIsNotEdited)
{
    AddressBook_Insert(&g_AddressBookInternet, "A name of twenty-one c", "10.0.0.7");
    MM_inet_fill_addresses();
    MM_inet_list()->SetCurrent(0);
    ASSERT_EQ(Row(0)->name, "A name of twenty-one c");
    MM_inet_edit_player(nullptr, QIN_CLICKED, 0);
    EXPECT_TRUE(Find("InetEditName")->flags & QIWF_DISABLED);
}

TEST_F(MmInternet, StatusesFollowTheAnswers)
{
    QvLogCapture log;
    MM_inet_poll(); // the visit's first poll probes every row
    EXPECT_EQ(Row(0)->status, "Address is invalid ...");
    EXPECT_EQ(Row(2)->status, "Address is invalid ...");
    EXPECT_EQ(Row(1)->status, "Waiting for a response ...");
    EXPECT_EQ(Sent(NET_SEARCH), 2) << "the invalid and all-ones rows are never probed";
    Found(Udp(3), NET_SESSION_OPEN, 1, "Ann's Game");
    MM_inet_poll();
    EXPECT_EQ(Row(1)->status, "Open 1 Player Game ...");
    EXPECT_EQ(Row(3)->status, "Waiting for a response ...");
    // A later probe clears the answer: no response until the host answers again.
    PlatHeadless_Advance(MM_INET_PROBE_MS + 1);
    MM_inet_poll();
    MM_inet_poll();
    EXPECT_EQ(Row(1)->status, "No Response ...");
    Net_LockFoundSessions();
    static_cast<NetSession*>(GLL_GoFirst(g_FoundSessions))->flags = NET_SESSION_OPEN | NET_SESSION_LAUNCHED;
    Net_UnlockFoundSessions();
    MM_inet_poll();
    EXPECT_EQ(Row(1)->status, "Closed 1 Player Game ...");
    EXPECT_EQ(NetPkt_GetRoundTrip(&Row(1)->head.address), 250u) << "no sample yet";
    // Looked up on every poll, a missing text is defined in the log once.
    EXPECT_LE(Count(log.text(), "#define InetGameStatusOpen "), 1u);
}

TEST_F(MmInternet, JoinNeverGoesToAnInvalidRowAndAMuteHostTimesOut)
{
    MM_inet_poll();
    MemNet_Sent().clear();
    MM_inet_list()->SetCurrent(0); // all ones
    MM_inet_join(nullptr, QIN_CLICKED, 0);
    MM_inet_list()->SetCurrent(2); // not an address
    MM_inet_join(nullptr, QIN_CLICKED, 0);
    EXPECT_EQ(Sent(NET_JOIN), 0);
    static uint32_t clock = 0;
    Thread_SetClockHook([]() { return clock += 100; });
    QvLogCapture log(0x1000);
    QvPassScript s;
    Click(s, OK_X, OK_Y);
    s.stopWhenDone = false;
    MM_inet_list()->SetCurrent(1);
    MM_inet_join(nullptr, QIN_CLICKED, 0);
    EXPECT_EQ(Sent(NET_JOIN), 1);
    EXPECT_NE(log.text().find("Error box [Join Timed Out]"), std::string::npos);
    EXPECT_EQ(Mm_Poll(), MM_inet_poll) << "the page stays with its poll";
    Thread_SetClockHook(MemNet_Clock);
}

class MmIpx : public MmFixture {
protected:
    void SetUp() override
    {
        MmFixture::SetUp();
        Build();
        MemoryNetwork(NET_TYPE_IPX);
        ASSERT_EQ(MM_ipx_start(), 1);
    }
    MMScrollIpxGame* Game(int i) { return static_cast<MMScrollIpxGame*>(MM_ipx_games()->ItemAt(i)); }
};

TEST_F(MmIpx, OneRowPerCreatorUpdatedInPlace)
{
    Found(Udp(2), NET_SESSION_OPEN, 1, "Player 2's Game");
    Found(Udp(3), NET_SESSION_OPEN, 3, "A name of all twenty-four");
    MM_ipx_poll();
    ASSERT_EQ(MM_ipx_games()->count, 2);
    EXPECT_STREQ(Game(1)->session.name, "A name of all twenty-fo") << "ends inside its field";
    MMScrollIpxGame* first = Game(0);
    Net_LockFoundSessions();
    static_cast<NetSession*>(GLL_GoFirst(g_FoundSessions))->count = 2;
    Net_UnlockFoundSessions();
    MM_ipx_poll();
    ASSERT_EQ(MM_ipx_games()->count, 2);
    EXPECT_EQ(Game(0), first);
    EXPECT_EQ(Game(0)->session.count, 2);
    // A game that left the list (its searches unanswered) leaves the page.
    Net_LockFoundSessions();
    GLL_GoLast(g_FoundSessions);
    Debug_FreeBlock(GLL_DeleteCurrent(g_FoundSessions));
    Net_UnlockFoundSessions();
    MM_ipx_poll();
    ASSERT_EQ(MM_ipx_games()->count, 1);
    EXPECT_EQ(Game(0), first);
}

TEST_F(MmIpx, TextsOfARow)
{
    struct ROW {
        const char* name;
        int count;
        uint8_t flags;
        const char* players;
        const char* status;
    } rows[] = {
        {"one", 1, NET_SESSION_OPEN, "1 Player", "Waiting for Players ..."},
        {"none", 0, NET_SESSION_OPEN, "0 Players", "Waiting for Players ..."},
        {"launched", 2, NET_SESSION_OPEN | NET_SESSION_LAUNCHED, "2 Players", "In Progress ..."},
        {"silent", 8, 0, "8 Players", "No Response ..."},
        {"silent launched", 8, NET_SESSION_LAUNCHED, "8 Players", "No Response ..."},
    };
    for (const ROW& r : rows) {
        char text[26];
        MM_ipx_player_text(r.count, text, sizeof text);
        EXPECT_STREQ(text, r.players) << r.name;
        EXPECT_STREQ(MM_ipx_status_text(r.flags), r.status) << r.name;
    }
}

TEST_F(MmIpx, PlayersOfThePickedGameAndSearchesEveryTwoSeconds)
{
    MM_ipx_set_last_search(Plat_SystemMs());
    Found(Udp(2), NET_SESSION_OPEN, 3, "Player 2's Game");
    MM_ipx_poll();
    EXPECT_EQ(MM_ipx_players()->count, 0) << "no game picked";
    int searches = 0;
    for (const MemDatagram& d : MemNet_Sent()) searches += (Net_Type(&d.packet) & 0xFF) == NET_SEARCH;
    EXPECT_EQ(searches, 0) << "not before 2000 ms";
    MM_ipx_games()->SetCurrent(0);
    PlatHeadless_Advance(MM_IPX_SEARCH_MS + 1);
    MM_ipx_poll();
    ASSERT_EQ(MM_ipx_players()->count, 3);
    EXPECT_STREQ(static_cast<QITextItem*>(MM_ipx_players()->ItemAt(2))->text.c_str(), "Guest 2");
    for (const MemDatagram& d : MemNet_Sent()) searches += (Net_Type(&d.packet) & 0xFF) == NET_SEARCH;
    EXPECT_EQ(searches, 1);
    Net_LockFoundSessions();
    EXPECT_FALSE(static_cast<NetSession*>(GLL_GoFirst(g_FoundSessions))->flags & NET_SESSION_OPEN)
        << "a search asks every host again";
    Net_UnlockFoundSessions();
    MM_ipx_poll();
    EXPECT_STREQ(MM_ipx_status_text(Game(0)->session.flags), "No Response ...");
}


// Regression: rows going (their games left the found list) left the games
// list's scroll and pick as they were: the list showed empty rows until
// scrolled up, and Join joined the game that moved into the picked row.
class NetHandoverIpxPage : public MmIpx {};

TEST_F(NetHandoverIpxPage, RowsGoingKeepTheScrollWithinAndThePickOnItsGame)
{
    MM_ipx_set_last_search(Plat_SystemMs());
    for (int n = 0; n < 16; n++) Found(Udp(20 + n), NET_SESSION_OPEN, 2, "game");
    MM_ipx_poll();
    QIList* games = MM_ipx_games();
    games->ScrollToEnd();
    ASSERT_GT(games->scroll.y, 0);
    games->SetCurrent(14);
    MM_ipx_poll();
    ASSERT_EQ(MM_ipx_players()->count, 2);
    auto leave = [](int from, int to) { // the games of Udp(from..to) leave the found list
        Net_LockFoundSessions();
        for (NetSession* s = (NetSession*)GLL_GoFirst(g_FoundSessions); s;)
            if (s->creator_address.bytes[3] >= from && s->creator_address.bytes[3] <= to) {
                Debug_FreeBlock(GLL_DeleteCurrent(g_FoundSessions));
                s = (NetSession*)GLL_GetCurrent(g_FoundSessions);
            } else {
                s = (NetSession*)GLL_GoNext(g_FoundSessions);
            }
        Net_UnlockFoundSessions();
    };
    leave(20, 25);
    MM_ipx_poll();
    ASSERT_EQ(games->count, 10);
    EXPECT_EQ(games->scroll.y, 0) << "ten rows fit";
    ASSERT_EQ(games->current, 8);
    const NetAddress picked = Udp(34);
    EXPECT_TRUE(NetPkt_SameAddress(&Game(games->current)->session.creator_address, &picked)) << "Join's game";
    leave(34, 34);
    MM_ipx_poll();
    EXPECT_EQ(games->current, -1) << "the picked game went: none picked";
    EXPECT_EQ(MM_ipx_players()->count, 0) << "nor its players shown";
}

// Edit, a field emptied, Accept: the entry used to be removed from the list
// and from Address.txt before the empty one was turned down, without a word.
class PlayerViewMenusAddressBook : public MmInternet {};

TEST_F(PlayerViewMenusAddressBook, AcceptWithAnEmptiedFieldIsRefusedAndKeepsTheEntry)
{
    const std::string before = Names();
    const char* const emptied[2][2] = {{"", "10.0.0.3"}, {"Ann", ""}};
    for (const auto& typed : emptied) {
        unlink(dir.file("Address.txt").c_str());
        MM_inet_list()->SetCurrent(1);
        ASSERT_EQ(Row(1)->name, "Ann");
        MM_inet_edit_player(nullptr, QIN_CLICKED, 0);
        Type(typed[0], typed[1]);
        QvLogCapture log(0x1000);
        QvPassScript s;
        Click(s, OK_X, OK_Y);
        s.stopWhenDone = false;
        MM_inet_accept(nullptr, QIN_CLICKED, 0);
        EXPECT_NE(log.text().find("Error box [InetEntryIncomplete]"), std::string::npos) << typed[0];
        EXPECT_FALSE(s.overran);
        EXPECT_EQ(Names(), before) << typed[0];
        EXPECT_EQ(dir.read("Address.txt"), "") << "nothing written";
        EXPECT_FALSE(Find("InetEditName")->flags & QIWF_DISABLED) << "the fields stay open to mend";
        MM_inet_cancel(nullptr, QIN_CLICKED, 0);
    }
}

} // namespace
