#include "mmfixture.h"

#include <cstdlib>
#include <cstring>

#include "core/addrbook.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/gll.h"
#include "core/tfmod.h"
#include "core/utils.h"
#include "multi/mmframe.h"
#include "net/memnet.h"
#include "net/net.h"
#include "platform/font.h"
#include "platform/plat.h"
#include "platform/thread.h"
#include "widgets/qidesktop.h"

void MmFixture::SetUp()
{
    oldData = g_DataDir;
    Str_CopySafe(g_DataDir, QV_TEST_RUNDIR "/data", sizeof g_DataDir);
    Tfmod_SetConfigPath(dir.file("quorvex.cfg").c_str());
    AddressBook_SetPath(dir.file("Address.txt").c_str());
    dir.write("quorvex.cfg", "MultiPlayerConfiguration\n{\n    SetPlayerName    \"Player 1\"\n}\n");
    Str_CopySafe(g_CfgPlayerName, "Player 1", sizeof g_CfgPlayerName);
}

void MmFixture::TearDown()
{
    if (MM_menu.desktop) Mm_Close();
    if (NetPkt_Running()) Net_Close();
    Thread_SetClockHook(nullptr);
    Str_CopySafe(g_DataDir, oldData.c_str(), sizeof g_DataDir);
    Tfmod_SetConfigPath(nullptr);
    AddressBook_SetPath(ADDRESSBOOK_FILENAME);
    g_GameState = GS_FRONTEND;
}

void MmFixture::Build(void)
{
    Font_Init(MM_FONT_BYTES);
    desktop = Mm_Build();
    desktop->TickAll(nullptr);
    desktop->ApplyPalette();
}

void MmFixture::MemoryNetwork(int type)
{
    MemNet_Reset(1000, Udp(1));
    Thread_SetClockHook(MemNet_Clock);
    ASSERT_TRUE(Net_InitWith(type, MemNet_Transport(), 0));
}

NetAddress MmFixture::Udp(int n)
{
    NetAddress a;
    memset(&a, 0, sizeof a);
    a.kind = NET_TYPE_UDP;
    a.bytes[0] = 10;
    a.bytes[3] = (uint8_t)n;
    return a;
}

void MmFixture::Found(const NetAddress& creator, uint8_t flags, int players, const char* name)
{
    NetSession* s = (NetSession*)Debug_Malloc(sizeof(NetSession));
    memset(s, 0, sizeof *s);
    s->flags = flags;
    s->creator_address = creator;
    memcpy(s->name, name, strnlen(name, NET_GAME_NAME_SIZE)); // unterminated when 24 long
    s->count = (uint8_t)players;
    for (int p = 0; p < players && p < NET_NODES; p++) {
        s->players[p].flags = NET_PLAYER_ACTIVE;
        snprintf(s->players[p].name, NET_NAME_SIZE, "Guest %d", p);
    }
    Net_LockFoundSessions();
    GLL_GoLast(g_FoundSessions);
    GLL_InsertAfter(g_FoundSessions, s);
    Net_UnlockFoundSessions();
}

QIWidget* MmFixture::Find(const char* name) { return desktop ? desktop->FindByName(name) : nullptr; }

bool MmFixture::Shown(const char* name)
{
    QIWidget* w = Find(name);
    return w && !QIWidget::IsHidden(w);
}

void MmFixture::Click(QvPassScript& s, int x, int y)
{
    s.Add(QvMove(x, y)).Add(QvButton(1)).Add(QvButton(0));
}
