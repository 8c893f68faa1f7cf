#include "flow/flowplayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "core/gamestate.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "support/golden.h"
#include "support/testsupport.h"
#include "widgets/qidesktop.h"

void QvFlow_MakeHome(const QvTempDir& home, const std::vector<std::pair<std::string, std::string>>& extra)
{
    namespace fs = std::filesystem;
    fs::create_directory_symlink(QV_TEST_RUNDIR "/data", home.file("data"));
    fs::create_directories(home.file("scenario/SINGLE"));
    fs::create_directories(home.file("save"));
    fs::create_directory_symlink(QV_TEST_RUNDIR "/scenario/SINGLE/DEMO", home.file("scenario/SINGLE/DEMO"));
    for (const auto& [folder, text] : extra) {
        home.write("scenario/SINGLE/" + folder + "/QUORVEX.scn", text);
        fs::create_symlink(QV_TEST_RUNDIR "/scenario/SINGLE/DEMO/QUORVEX.map",
                           home.file("scenario/SINGLE/" + folder + "/QUORVEX.map"));
    }
}

int QvFlow_ListLine(const std::string& home, const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(home + "/scenario/SINGLE"))
        if (e.is_directory()) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return (int)(std::find(names.begin(), names.end(), folder) - names.begin());
}

static QvFlowPlayer* s_player = nullptr;

QvFlowPlayer::QvFlowPlayer(int maxPasses) : max_(maxPasses)
{
    s_player = this;
    PlatHeadless_SetPumpHook(Hook);
}

QvFlowPlayer::~QvFlowPlayer()
{
    PlatHeadless_SetPumpHook(nullptr);
    s_player = nullptr;
    Plat_ClearQuit();
    g_QuitRequested = 0;
}

QvFlowPlayer& QvFlowPlayer::Pass(const QvPass& pass)
{
    steps_.push_back(Step{pass, nullptr, nullptr, nullptr});
    return *this;
}

QvFlowPlayer& QvFlowPlayer::Wait(uint32_t ms, int count)
{
    QvPass p;
    p.advanceMs = ms;
    for (int i = 0; i < count; i++) Pass(p);
    return *this;
}

QvFlowPlayer& QvFlowPlayer::Until(std::function<bool()> done, uint32_t ms)
{
    QvPass p;
    p.advanceMs = ms;
    steps_.push_back(Step{p, std::move(done), nullptr, nullptr});
    return *this;
}

QvFlowPlayer& QvFlowPlayer::Then(std::function<void()> check)
{
    steps_.push_back(Step{QvPass{}, nullptr, std::move(check), nullptr});
    return *this;
}

QvFlowPlayer& QvFlowPlayer::Click(int x, int y, int button, uint32_t ms)
{
    QvPass move = QvMove(x, y), down = QvButton(1, button), up = QvButton(0, button);
    move.advanceMs = down.advanceMs = up.advanceMs = ms;
    return Pass(move).Pass(down).Pass(up);
}

QvFlowPlayer& QvFlowPlayer::ClickWhere(std::function<void(int* x, int* y)> where, int button)
{
    steps_.push_back(Step{QvMove(0, 0), nullptr, nullptr, std::move(where)});
    return Pass(QvButton(1, button)).Pass(QvButton(0, button));
}

QvFlowPlayer& QvFlowPlayer::Box(int x1, int y1, int x2, int y2, uint32_t ms)
{
    QvPass down = QvMove(x1, y1), mid = QvMove((x1 + x2) / 2, (y1 + y2) / 2), end = QvMove(x2, y2),
           up = QvButton(0);
    down.button = 0;
    down.down = 1;
    down.advanceMs = mid.advanceMs = end.advanceMs = up.advanceMs = ms;
    return Pass(down).Pass(mid).Pass(end).Pass(up);
}

// The keyboard's scan codes of the characters a file name takes.
static int ScanCode(char c)
{
    static const char* const rows[] = {"1234567890", "qwertyuiop", "asdfghjkl", "zxcvbnm"};
    static const int first[] = {2, 16, 30, 44};
    if (c == '.') return 52;
    const char lower = (char)(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    for (int r = 0; r < 4; r++)
        if (const char* at = strchr(rows[r], lower); at && lower) return first[r] + (int)(at - rows[r]);
    return 0;
}

QvFlowPlayer& QvFlowPlayer::Type(const std::string& text, uint32_t ms)
{
    for (char c : text) {
        QvPass key = QvKey(ScanCode(c));
        key.character = (unsigned char)c;
        key.advanceMs = ms;
        Pass(key);
    }
    return *this;
}

QvFlowPlayer& QvFlowPlayer::Look(uint32_t golden, const std::string& pcx, int settle)
{
    Wait(0, settle);
    return Then([golden, pcx] {
        const uint8_t* pixels = nullptr;
        const PAL_RGB* palette = nullptr;
        ASSERT_TRUE(PlatHeadless_LastFrame(&pixels, &palette) && pixels);
        EXPECT_TRUE(DemoFixture_Matches(pixels, palette, golden, pcx.c_str()));
    });
}

void QvFlowPlayer::Hook(void)
{
    if (s_player) s_player->Next();
}

void QvFlowPlayer::Next(void)
{
    // The flip pumps too: one step a presented frame.
    const int flips = PlatHeadless_Flips();
    if (flips == lastFlips_) return;
    lastFlips_ = flips;
    if (eachPass) eachPass();
    if (passes >= max_) {
        overran = true;
        Plat_PostQuit();
        return;
    }
    passes++;
    for (;;) {
        if (at_ >= steps_.size()) {
            auto* desktop = dynamic_cast<QIDesktopBase*>(g_QIDesktop);
            if (stopWhenDone && desktop) desktop->dflags &= ~(QID_RUNNING | QID_LOOPCONTINUES);
            if (stopWhenDone && g_GameState == GS_INGAME) g_GameState = GS_FRONTEND;
            return;
        }
        const Step& s = steps_[at_];
        if (s.check) {
            at_++;
            s.check();
            continue;
        }
        if (s.until && s.until()) {
            at_++;
            continue;
        }
        if (!s.until) at_++;
        QvPass p = s.pass;
        if (s.where) s.where(&p.moveX, &p.moveY);
        if (p.advanceMs) PlatHeadless_Advance(p.advanceMs);
        if (p.moveX >= 0) Input_RawMouseMove(p.moveX, p.moveY);
        if (p.button >= 0) Input_RawMouseButton(p.button, p.down);
        if (p.wheel) Input_RawWheel(p.wheel);
        if (p.scancode && p.keyHeld != 0) Input_RawKey(p.scancode, 1, p.character);
        if (p.scancode && p.keyHeld != 1) Input_RawKey(p.scancode, 0, 0);
        if (p.quit) Plat_PostQuit();
        return;
    }
}
