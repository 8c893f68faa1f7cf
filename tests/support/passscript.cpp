#include "support/passscript.h"

#include "core/config.h"
#include "core/gamestate.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "widgets/qidesktop.h"

static QvPassScript* s_script = nullptr;

QvPassScript::QvPassScript(int maxPasses) : max_(maxPasses)
{
    s_script = this;
    PlatHeadless_SetPumpHook(Hook);
}

QvPassScript::~QvPassScript()
{
    PlatHeadless_SetPumpHook(nullptr);
    s_script = nullptr;
    Plat_ClearQuit();
    g_QuitRequested = 0;
}

QvPassScript& QvPassScript::Add(const QvPass& pass)
{
    script_.push_back(pass);
    return *this;
}

QvPassScript& QvPassScript::Wait(uint32_t ms, int count)
{
    QvPass p;
    p.advanceMs = ms;
    for (int i = 0; i < count; i++) script_.push_back(p);
    return *this;
}

void QvPassScript::Hook(void)
{
    if (s_script) s_script->Step();
}

void QvPassScript::Step(void)
{
    // The flip pumps too: one step a presented frame.
    const int flips = PlatHeadless_Flips();
    if (flips == lastFlips_) return;
    lastFlips_ = flips;
    if (onPass) onPass(passes);
    auto* desktop = dynamic_cast<QIDesktopBase*>(g_QIDesktop);
    if (passes >= max_) {
        overran = true;
        Plat_PostQuit();
        return;
    }
    if (passes >= (int)script_.size()) {
        if (stopWhenDone && desktop) desktop->dflags &= ~(QID_RUNNING | QID_LOOPCONTINUES);
        // The game goes back to the front end as a game that ended does.
        if (stopWhenDone && g_GameState == GS_INGAME) g_GameState = GS_FRONTEND;
        passes++;
        return;
    }
    const QvPass& p = script_[passes++];
    if (p.advanceMs) PlatHeadless_Advance(p.advanceMs);
    if (p.moveX >= 0) Input_RawMouseMove(p.moveX, p.moveY);
    if (p.button >= 0) Input_RawMouseButton(p.button, p.down);
    if (p.wheel) Input_RawWheel(p.wheel);
    if (p.scancode && p.keyHeld != 0) Input_RawKey(p.scancode, 1, p.character);
    if (p.scancode && p.keyHeld != 1) Input_RawKey(p.scancode, 0, 0);
    if (p.quit) Plat_PostQuit();
}

std::vector<std::string>& QvPass_Log(void)
{
    static std::vector<std::string> log;
    return log;
}

int QvPass_Record(QIWidget* widget, int code, QIARG)
{
    QvPass_Log().push_back(std::string(widget->name.c_str()) + " " + std::to_string(code));
    return 0;
}

QvPass QvMove(int x, int y)
{
    QvPass p;
    p.moveX = x;
    p.moveY = y;
    return p;
}

QvPass QvButton(int down, int button)
{
    QvPass p;
    p.button = button;
    p.down = down;
    return p;
}

QvPass QvKey(int scancode)
{
    QvPass p;
    p.scancode = scancode;
    return p;
}

QvPass QvKeyDown(int scancode, int character)
{
    QvPass p;
    p.scancode = scancode;
    p.character = character;
    p.keyHeld = 1;
    return p;
}

QvPass QvKeyUp(int scancode)
{
    QvPass p;
    p.scancode = scancode;
    p.keyHeld = 0;
    return p;
}

QvPass QvWheel(int delta)
{
    QvPass p;
    p.wheel = delta;
    return p;
}

QvHeadlessScreen::QvHeadlessScreen()
{
    Plat_InitWith(&g_PlatHeadless);
    PlatHeadless_SetClock(0, 0);
    Cfg_SetDefaults(&g_Config);
    Video_Init();
    Input_Init();
    QvPass_Log().clear();
}

QvHeadlessScreen::~QvHeadlessScreen()
{
    Input_Close();
    Video_Close();
    Plat_Close();
    g_QIDefaultFlags = 0;
}
