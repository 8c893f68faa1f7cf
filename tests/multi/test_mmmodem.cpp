// The modem pages in-process: the phone book kept in "Address.txt", the
// modem choice, the status lines, and calls placed against the modem
// emulator with the test as the far party on its second modem.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "core/addrbook.h"
#include "core/config.h"
#include "core/mlstring.h"
#include "core/tfmod.h"
#include "core/utils.h"
#include "mmfixture.h"
#include "multi/mmchat.h"
#include "multi/mmframe.h"
#include "multi/mmmain.h"
#include "multi/mmmodem.h"
#include "net/atline.h"
#include "net/comm.h"
#include "net/modem.h"
#include "net/net.h"
#include "platform/graph.h"
#include "platform/video.h"
#include "platform/thread.h"
#include "widgets/qidesktop.h"
#include "widgets/qidroplist.h"
#include "widgets/qiedit.h"
#include "widgets/qilist.h"

namespace {

class MmModem : public MmFixture {
protected:
    QCONFIG saved = g_Config;
    pid_t emulator = -1;
    int far = -1;
    std::string port[2];

    void SetUp() override
    {
        MmFixture::SetUp();
        ASSERT_GT(MLString_Load(QV_TEST_RUNDIR "/data/mlstring.cfg"), 0);
    }
    void TearDown() override
    {
        MODEM_Close();
        COMM_Close();
        if (far >= 0) close(far);
        if (emulator > 0) {
            kill(emulator, SIGTERM);
            waitpid(emulator, nullptr, 0);
        }
        MmFixture::TearDown();
        MLString_Unload();
        g_Config = saved;
        MODEM_ResetLoader();
    }
    void Enter(const char* modem = "")
    {
        Str_CopySafe(g_Config.modem, modem, sizeof g_Config.modem);
        if (!desktop) Build();
        MM_modem_start();
        Mm_SwitchPage(MM_main_page(), MM_modem_page());
    }
    static void Click(int (*handler)(QIWidget*, int, QIARG)) { handler(nullptr, QIN_CLICKED, 0); }
    static void Type(const char* name, const char* number)
    {
        MM_modem_name_text()->Set(name);
        MM_modem_number_text()->Set(number);
    }
    std::string Book(void)
    {
        std::string all;
        for (const ADDRESSBOOK_ENTRY* e = g_AddressBookPhone; e; e = e->next) all += std::string(e->name) + "=" + e->address + ";";
        return all;
    }
    static std::string Lines(void)
    {
        std::string all;
        QIList* l = MM_modem_status_list();
        for (int i = 0; i < l->count; i++) all += std::string(static_cast<QITextItem*>(l->ItemAt(i))->text.c_str()) + "|";
        return all;
    }
    void Emulator(void)
    {
        const std::string ports = dir.file("ports");
        emulator = fork();
        if (emulator == 0) {
            execl(QV_MODEMEMU, QV_MODEMEMU, "--ports", ports.c_str(), "--ring-ms", "200", (char*)nullptr);
            _exit(127);
        }
        for (int i = 0; i < 200 && dir.read("ports").empty(); i++) Thread_Sleep(20);
        std::ifstream in(ports);
        std::getline(in, port[0]);
        std::getline(in, port[1]);
        ASSERT_FALSE(port[1].empty()) << "the emulator gave no ports";
        Str_CopySafe(g_Config.modemports, port[0].c_str(), sizeof g_Config.modemports);
        MODEM_ResetLoader();
        far = open(port[1].c_str(), O_RDWR | O_NOCTTY);
        termios t;
        tcgetattr(far, &t);
        cfmakeraw(&t);
        tcsetattr(far, TCSANOW, &t);
    }
    // Pumps the line and the page until the status list holds the text.
    bool PumpUntil(const char* text, uint32_t status = 99)
    {
        for (int i = 0; i < 800; i++) {
            ATLine_Pump();
            MM_modem_poll();
            if (Lines().find(text) != std::string::npos || MODEM_GetStatus() == status) return true;
            Thread_Sleep(10);
        }
        return false;
    }
};

// Each step acts on the page, then the book in memory and on disk is as given.
TEST_F(MmModem, PhoneBookEditingKeepsAddressTxt)
{
    Enter();
    struct STEP {
        const char* name;
        void (*act)(void);
        const char* book;
    } steps[] = {
        {"Accept with the fields closed adds nothing", [] { Click(MM_modem_accept); }, ""},
        {"Add then Accept", [] { Click(MM_modem_add); Type("Zed", "5551234"); Click(MM_modem_accept); }, "Zed=5551234;"},
        {"a second entry sorts first", [] { Click(MM_modem_add); Type("amy", "5550009"); Click(MM_modem_accept); },
         "amy=5550009;Zed=5551234;"},
        {"Edit changing only the case replaces", [] {
             MM_modem_phones()->SetCurrent(1);
             Click(MM_modem_edit);
             Type("ZED", "5551234");
             Click(MM_modem_accept);
         }, "amy=5550009;ZED=5551234;"},
        {"Cancel closes the fields", [] { Click(MM_modem_add); Click(MM_modem_cancel); Click(MM_modem_accept); },
         "amy=5550009;ZED=5551234;"},
        {"Delete and Edit without a current row do nothing", [] {
             Click(MM_modem_delete);
             Click(MM_modem_edit);
             Click(MM_modem_accept);
         }, "amy=5550009;ZED=5551234;"},
        {"Delete the current row", [] { MM_modem_phones()->SetCurrent(0); Click(MM_modem_delete); }, "ZED=5551234;"},
    };
    for (const STEP& s : steps) {
        s.act();
        EXPECT_EQ(Book(), s.book) << s.name;
        Tfmod_ReadAddresses(); // what was written reads back the same
        EXPECT_EQ(Book(), s.book) << s.name << " (the file)";
    }
    EXPECT_EQ(dir.read("Address.txt").find("..."), std::string::npos);
    // An entry longer than the fields is not opened for editing.
    AddressBook_Insert(&g_AddressBookPhone, "A name far longer than twenty", "1");
    MM_modem_fill_phonebook();
    MM_modem_phones()->SetCurrent(0);
    Click(MM_modem_edit);
    Click(MM_modem_accept);
    EXPECT_EQ(Book(), "A name far longer than twenty=1;ZED=5551234;");
}

// Add's texts are hints: typed keys replace them whole, whatever comes first.
TEST_F(MmModem, AddsHintsGiveWayToTheFirstKeyThatEdits)
{
    dir.write("Address.txt", "INTERNET ADDRESSES:\n\nPHONE ADDRESSES:\nAnna\n5550009\n");
    Enter();
    const int NAME_X = 300, NAME_Y = 304, NUMBER_Y = 348, ACCEPT_X = 259, ACCEPT_Y = 373;
    enum { ESC = 1, BACKSPACE = 14, ENTER = 28, LEFT = 75, END = 79 };
    auto key = [](QvPassScript& s, int code) { s.Add(QvKey(code)); };
    auto type = [](QvPassScript& s, const char* text) {
        for (; *text; text++) {
            QvPass p = QvKey(0x1E);
            p.character = *text;
            s.Add(p);
        }
    };
    struct ROW {
        const char* name;
        bool edit; // Edit on the book's row instead of Add
        std::function<void(QvPassScript&)> keys;
        const char* book;
    } rows[] = {
        {"typed into both, then Accept", false, [&](QvPassScript& s) {
             MmFixture::Click(s, NAME_X, NAME_Y); type(s, "Bo");
             MmFixture::Click(s, NAME_X, NUMBER_Y); type(s, "555");
             MmFixture::Click(s, ACCEPT_X, ACCEPT_Y);
         }, "Anna=5550009;Bo=555;"},
        {"entered and left, the hint stays a hint", false, [&](QvPassScript& s) {
             MmFixture::Click(s, NAME_X, NAME_Y); MmFixture::Click(s, NAME_X, NUMBER_Y); key(s, ESC);
             MmFixture::Click(s, NAME_X, NAME_Y); key(s, END); key(s, LEFT); type(s, "Cy"); key(s, ENTER);
             MmFixture::Click(s, NAME_X, NUMBER_Y); type(s, "7"); key(s, ENTER);
             MmFixture::Click(s, ACCEPT_X, ACCEPT_Y);
         }, "Anna=5550009;Cy=7;"},
        {"Backspace empties, then typing goes on", false, [&](QvPassScript& s) {
             MmFixture::Click(s, NAME_X, NAME_Y); key(s, BACKSPACE); type(s, "Di"); key(s, ENTER);
             MmFixture::Click(s, NAME_X, NUMBER_Y); key(s, BACKSPACE); key(s, BACKSPACE); type(s, "8"); key(s, ENTER);
             MmFixture::Click(s, ACCEPT_X, ACCEPT_Y);
         }, "Anna=5550009;Di=8;"},
        {"untouched hints are what Accept takes", false, [&](QvPassScript& s) { MmFixture::Click(s, ACCEPT_X, ACCEPT_Y); },
         "[name]=[phone number];Anna=5550009;"},
        {"an edited entry's text is kept and added to", true, [&](QvPassScript& s) {
             MmFixture::Click(s, NAME_X, NAME_Y); type(s, "bel"); key(s, ENTER);
             MmFixture::Click(s, ACCEPT_X, ACCEPT_Y);
         }, "Annabel=5550009;"},
    };
    for (const ROW& r : rows) {
        dir.write("Address.txt", "INTERNET ADDRESSES:\n\nPHONE ADDRESSES:\nAnna\n5550009\n");
        Tfmod_ReadAddresses();
        MM_modem_fill_phonebook();
        MM_modem_phones()->SetCurrent(0);
        Click(r.edit ? MM_modem_edit : MM_modem_add);
        QvPassScript s;
        r.keys(s);
        desktop->dflags |= QID_RUNNING; // the last script stopped it
        desktop->EventLoop(nullptr, 1);
        EXPECT_EQ(Book(), r.book) << r.name;
    }
}

// A pop-up closing repaints only what it covered: the rows it did not
// cover keep their texts over their fills, whatever their state.
TEST_F(MmModem, RowsOutsideAClosedPopupKeepTheirTexts)
{
    dir.write("Address.txt", "INTERNET ADDRESSES:\n\nPHONE ADDRESSES:\nAnna\n5550009\nBo\n5551234\n");
    Enter();
    MM_modem_phones()->SetCurrent(0);
    for (QIWidget* w = desktop->first; w; w = w->Next()) w->MarkTree();
    desktop->Draw(nullptr, nullptr);
    BITMAP* bb = Backbuf_Lock();
    ASSERT_NE(bb, nullptr);
    // The two rows (62..94), clear of the error box (from 119 down).
    auto rows = [bb] { return std::string((const char*)bb->data + 62 * 640, 32 * 640); };
    const std::string before = rows();
    ASSERT_NE(before.find((char)Mm_RowFill(QIROW_CURRENT)), std::string::npos);
    QvPassScript s;
    s.Wait(10, 2);
    MmFixture::Click(s, 314, 273);
    s.stopWhenDone = false;
    Mm_PopError(&MM_menu, "ModemWarningNoModem", "%s", "You don't have a modem selected in the Modem Setup");
    EXPECT_TRUE(rows() == before) << "the rows changed under the closed box";
}

TEST_F(MmModem, TheModemChoiceAndStatusLines)
{
    dir.write("quorvex.cfg", "MultiPlayerConfiguration\n{\n    SetModem \"/dev/b\"\n}\n");
    Enter("/dev/b");
    MM_modem_add_device(0, "/dev/a", 57600);
    MM_modem_add_device(1, "/dev/b", 33600);
    MM_modem_add_device(2, "\xff\x01 odd", 0);
    const std::string before = dir.read("quorvex.cfg");
    Click(MM_modem_setup);
    EXPECT_TRUE(Shown("MultiMenuModemSetup"));
    Click(MM_modem_phonebook);
    EXPECT_FALSE(Shown("MultiMenuModemSetup"));
    EXPECT_EQ(dir.read("quorvex.cfg"), before) << "no current modem: nothing written";
    MM_modem_modems()->SetCurrent(1);
    Click(MM_modem_phonebook);
    EXPECT_EQ(dir.read("quorvex.cfg"), before) << "the same modem: nothing written";
    MM_modem_modems()->SetCurrent(0);
    Click(MM_modem_phonebook);
    EXPECT_NE(dir.read("quorvex.cfg").find("\"/dev/a\""), std::string::npos);
    EXPECT_STREQ(g_Config.modem, "/dev/a");

    struct ROW {
        const char* id;
        const char* line;
    } rows[] = {
        {"ModemStatusDisconnectedBusy", "BUSY"},
        {"ModemStatusDisconnectedNoAnswer", "NO ANSWER"},
        {"ModemStatusRinging", "Ringing ..."},
        {"NoSuchId", "ModemMessage"},
        {"\xff\xfe%s%n", "ModemMessage"},
        {nullptr, "ModemMessage"},
    };
    for (const ROW& r : rows) {
        MM_modem_status_list()->Clear();
        MM_modem_status_line(r.id);
        EXPECT_EQ(Lines(), std::string(r.line) + "|") << (r.id ? r.id : "null");
    }
}

TEST_F(MmModem, DialAndAnswerWarnWithoutAModemOrANumber)
{
    Enter();
    struct ROW {
        const char* name;
        bool modem;
        int (*handler)(QIWidget*, int, QIARG);
        const char* box;
    } rows[] = {
        {"Dial without a modem", false, MM_modem_dial, "ModemWarningNoModem"},
        {"Answer without a modem", false, MM_modem_answer, "ModemWarningNoModem"},
        {"Dial without a number", true, MM_modem_dial, "ModemWarningNoNumber"},
    };
    MM_modem_add_device(7, "/dev/none", 9600);
    for (const ROW& r : rows) {
        MM_modem_modems()->SetCurrent(r.modem ? 0 : -1);
        QvLogCapture log(0xFFFFFFFF);
        QvPassScript s(200);
        s.stopWhenDone = false;
        MmFixture::Click(s, 314, 273);
        r.handler(nullptr, QIN_CLICKED, 0);
        EXPECT_NE(log.text().find(std::string("Error box [") + r.box + "]"), std::string::npos) << r.name;
        EXPECT_FALSE(Shown("ModemStatus")) << r.name;
    }
}

// Against the emulator: busy and unanswered numbers, Abort, a line that
// can't carry the network, then a call the far party answers.
TEST_F(MmModem, CallsAgainstTheEmulator)
{
    Emulator();
    Enter(port[0].c_str());
    ASSERT_EQ(MM_modem_modems()->count, 1);
    EXPECT_EQ(MM_modem_modems()->current, 0) << "the configured modem preselected";
    AddressBook_Insert(&g_AddressBookPhone, "busy", "5550001");
    AddressBook_Insert(&g_AddressBookPhone, "far", "5557777");
    AddressBook_Insert(&g_AddressBookPhone, "silent", "5550002");
    MM_modem_fill_phonebook();
    struct ROW {
        const char* name;
        int row;
        const char* line;
    } rows[] = {{"BUSY", 0, "BUSY"}, {"NO ANSWER", 2, "NO ANSWER"}};
    for (const ROW& r : rows) {
        MM_modem_phones()->SetCurrent(r.row);
        Click(MM_modem_dial);
        EXPECT_TRUE(Shown("ModemStatus")) << r.name;
        EXPECT_TRUE(PumpUntil(r.line)) << r.name << ": " << Lines();
        Click(MM_modem_hangup);
        EXPECT_FALSE(Shown("ModemStatus")) << r.name;
    }
    // Connected, but the network can't open its line: one failure line only.
    MM_modem_phones()->SetCurrent(1);
    Click(MM_modem_dial);
    char buffer[256];
    std::string heard;
    for (int i = 0; i < 400 && heard.find("RING") == std::string::npos; i++) {
        ATLine_Pump();
        pollfd p = {far, POLLIN, 10};
        if (poll(&p, 1, 10) == 1) {
            const ssize_t k = read(far, buffer, sizeof buffer);
            if (k > 0) heard.append(buffer, (size_t)k);
        }
    }
    ASSERT_NE(heard.find("RING"), std::string::npos) << heard;
    ASSERT_EQ(write(far, "ATA\r", 4), 4);
    for (int i = 0; i < 800 && MODEM_GetStatus() != 3; i++) {
        ATLine_Pump();
        Thread_Sleep(10);
    }
    ASSERT_EQ(MODEM_GetStatus(), 3u) << Lines();
    EXPECT_NE(Lines().find("Connected"), std::string::npos) << Lines();
    MM_modem_poll(); // hands the line over
    ASSERT_EQ(MODEM_GetStatus(), 4u);
    COMM_SetPort(dir.file("no-such-tty").c_str(), 9600);
    for (int i = 0; i < 5; i++) MM_modem_poll();
    const std::string lines = Lines();
    const size_t first = lines.find("Could not initialise serial interface");
    EXPECT_NE(first, std::string::npos) << lines;
    EXPECT_EQ(lines.find("Could not initialise serial interface", first + 1), std::string::npos) << lines;
    EXPECT_FALSE(Shown("MultiMenuChat"));
}


// The phone book the same: an emptied field used to delete the edited entry.
class PlayerViewMenusPhoneBook : public MmModem {};

TEST_F(PlayerViewMenusPhoneBook, AcceptWithAnEmptiedFieldIsRefusedAndKeepsTheEntry)
{
    dir.write("Address.txt", "INTERNET ADDRESSES:\n\nPHONE ADDRESSES:\nAnna\n5550009\n");
    Enter();
    const char* const emptied[2][2] = {{"", "5550009"}, {"Anna", ""}};
    for (const auto& typed : emptied) {
        MM_modem_phones()->SetCurrent(0);
        Click(MM_modem_edit);
        Type(typed[0], typed[1]);
        QvLogCapture log(0x1000);
        QvPassScript s;
        MmFixture::Click(s, 314, 273); // the error box's Ok
        s.stopWhenDone = false;
        Click(MM_modem_accept);
        EXPECT_NE(log.text().find("Error box [ModemEntryIncomplete]"), std::string::npos) << typed[0];
        EXPECT_FALSE(s.overran);
        EXPECT_EQ(Book(), "Anna=5550009;") << typed[0];
        Tfmod_ReadAddresses();
        EXPECT_EQ(Book(), "Anna=5550009;") << typed[0] << " (the file)";
        Click(MM_modem_cancel);
    }
}

} // namespace
