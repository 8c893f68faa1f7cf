// SDL2 backend: the window, the keyboard and mouse, the audio device and the
// clocks of a real run.
//
// The 8-bit frame goes through the palette into a streaming ARGB texture at
// every present; the renderer's logical size keeps the picture 640 x 480
// whatever the window's size (letterboxed when full screen), and maps the
// mouse events back to 640 x 480 for us.
#include <SDL.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "core/tlog.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/sound.h"

static SDL_Window* s_window = nullptr;
static SDL_Renderer* s_renderer = nullptr;
static SDL_Texture* s_texture = nullptr;
static SDL_AudioDeviceID s_audio = 0;
static int s_repaints = 0;
static int s_sdlUp = 0;

// A key press whose character may still come with the SDL_TEXTINPUT that
// follows it in the same pump.
static int s_pendingScan = 0;
static int s_pendingChar = 0;

// --- scan codes ---

// SDL's scan codes (positions on a US keyboard) and the DirectInput codes
// that the game's key tables use: the one translation between the two.
struct SCANPAIR {
    SDL_Scancode sdl;
    uint8_t dik;
};

static const SCANPAIR s_scanTable[] = {
    {SDL_SCANCODE_ESCAPE, 1},        {SDL_SCANCODE_1, 2},
    {SDL_SCANCODE_2, 3},             {SDL_SCANCODE_3, 4},
    {SDL_SCANCODE_4, 5},             {SDL_SCANCODE_5, 6},
    {SDL_SCANCODE_6, 7},             {SDL_SCANCODE_7, 8},
    {SDL_SCANCODE_8, 9},             {SDL_SCANCODE_9, 10},
    {SDL_SCANCODE_0, 11},            {SDL_SCANCODE_MINUS, 12},
    {SDL_SCANCODE_EQUALS, 13},       {SDL_SCANCODE_BACKSPACE, 14},
    {SDL_SCANCODE_TAB, 15},          {SDL_SCANCODE_Q, 16},
    {SDL_SCANCODE_W, 17},            {SDL_SCANCODE_E, 18},
    {SDL_SCANCODE_R, 19},            {SDL_SCANCODE_T, 20},
    {SDL_SCANCODE_Y, 21},            {SDL_SCANCODE_U, 22},
    {SDL_SCANCODE_I, 23},            {SDL_SCANCODE_O, 24},
    {SDL_SCANCODE_P, 25},            {SDL_SCANCODE_LEFTBRACKET, 26},
    {SDL_SCANCODE_RIGHTBRACKET, 27}, {SDL_SCANCODE_RETURN, 28},
    {SDL_SCANCODE_LCTRL, 29},        {SDL_SCANCODE_A, 30},
    {SDL_SCANCODE_S, 31},            {SDL_SCANCODE_D, 32},
    {SDL_SCANCODE_F, 33},            {SDL_SCANCODE_G, 34},
    {SDL_SCANCODE_H, 35},            {SDL_SCANCODE_J, 36},
    {SDL_SCANCODE_K, 37},            {SDL_SCANCODE_L, 38},
    {SDL_SCANCODE_SEMICOLON, 39},    {SDL_SCANCODE_APOSTROPHE, 40},
    {SDL_SCANCODE_GRAVE, 41},        {SDL_SCANCODE_LSHIFT, 42},
    {SDL_SCANCODE_BACKSLASH, 43},    {SDL_SCANCODE_Z, 44},
    {SDL_SCANCODE_X, 45},            {SDL_SCANCODE_C, 46},
    {SDL_SCANCODE_V, 47},            {SDL_SCANCODE_B, 48},
    {SDL_SCANCODE_N, 49},            {SDL_SCANCODE_M, 50},
    {SDL_SCANCODE_COMMA, 51},        {SDL_SCANCODE_PERIOD, 52},
    {SDL_SCANCODE_SLASH, 53},        {SDL_SCANCODE_RSHIFT, 54},
    {SDL_SCANCODE_KP_MULTIPLY, 55},  {SDL_SCANCODE_LALT, 56},
    {SDL_SCANCODE_SPACE, 57},        {SDL_SCANCODE_CAPSLOCK, 58},
    {SDL_SCANCODE_F1, 59},           {SDL_SCANCODE_F2, 60},
    {SDL_SCANCODE_F3, 61},           {SDL_SCANCODE_F4, 62},
    {SDL_SCANCODE_F5, 63},           {SDL_SCANCODE_F6, 64},
    {SDL_SCANCODE_F7, 65},           {SDL_SCANCODE_F8, 66},
    {SDL_SCANCODE_F9, 67},           {SDL_SCANCODE_F10, 68},
    {SDL_SCANCODE_NUMLOCKCLEAR, 69}, {SDL_SCANCODE_SCROLLLOCK, 70},
    {SDL_SCANCODE_KP_7, 71},         {SDL_SCANCODE_KP_8, 72},
    {SDL_SCANCODE_KP_9, 73},         {SDL_SCANCODE_KP_MINUS, 74},
    {SDL_SCANCODE_KP_4, 75},         {SDL_SCANCODE_KP_5, 76},
    {SDL_SCANCODE_KP_6, 77},         {SDL_SCANCODE_KP_PLUS, 78},
    {SDL_SCANCODE_KP_1, 79},         {SDL_SCANCODE_KP_2, 80},
    {SDL_SCANCODE_KP_3, 81},         {SDL_SCANCODE_KP_0, 82},
    {SDL_SCANCODE_KP_PERIOD, 83},    {SDL_SCANCODE_NONUSBACKSLASH, 86},
    {SDL_SCANCODE_F11, 87},          {SDL_SCANCODE_F12, 88},
    {SDL_SCANCODE_KP_ENTER, 156},    {SDL_SCANCODE_RCTRL, 157},
    {SDL_SCANCODE_KP_DIVIDE, 181},   {SDL_SCANCODE_RALT, 184},
    {SDL_SCANCODE_HOME, 199},        {SDL_SCANCODE_UP, 200},
    {SDL_SCANCODE_PAGEUP, 201},      {SDL_SCANCODE_LEFT, 203},
    {SDL_SCANCODE_RIGHT, 205},       {SDL_SCANCODE_END, 207},
    {SDL_SCANCODE_DOWN, 208},        {SDL_SCANCODE_PAGEDOWN, 209},
    {SDL_SCANCODE_INSERT, 210},      {SDL_SCANCODE_DELETE, 211},
};

int PlatSdl_ScanCode(int sdlscancode)
{
    for (const SCANPAIR& p : s_scanTable)
        if ((int)p.sdl == sdlscancode) return p.dik;
    return 0;
}

// The character a key types when no text event names one: the control keys,
// Ctrl + letter, and plain ASCII (letters follow Shift and Caps Lock).
static int FallbackChar(SDL_Keycode key, Uint16 mod)
{
    switch (key) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return 13;
    case SDLK_BACKSPACE: return 8;
    case SDLK_TAB: return 9;
    case SDLK_ESCAPE: return 27;
    default: break;
    }
    if (key >= 'a' && key <= 'z') {
        if (mod & KMOD_CTRL) return (int)(key - 'a' + 1);
        int upper = ((mod & KMOD_SHIFT) != 0) != ((mod & KMOD_CAPS) != 0);
        return upper ? (int)(key - 'a' + 'A') : (int)key;
    }
    if (key >= 32 && key < 127) return (int)key;
    return 0;
}

// The first character of a UTF-8 text as one byte: ASCII and Latin-1 pass,
// anything beyond is no character.
static int TextChar(const char* text)
{
    const unsigned char* s = (const unsigned char*)text;
    if (s[0] < 0x80) return s[0];
    if ((s[0] & 0xE0) == 0xC0 && (s[1] & 0xC0) == 0x80) {
        int c = ((s[0] & 0x1F) << 6) | (s[1] & 0x3F);
        return c < 256 ? c : 0;
    }
    return 0;
}

static void FlushPendingKey(int character)
{
    if (!s_pendingScan) return;
    Input_RawKey(s_pendingScan, 1, character);
    s_pendingScan = 0;
}

static void OnKey(const SDL_KeyboardEvent& k)
{
    FlushPendingKey(s_pendingChar);
    int code = PlatSdl_ScanCode(k.keysym.scancode);
    if (!code) return;
    if (k.state != SDL_PRESSED) {
        Input_RawKey(code, 0, 0);
        return;
    }
    // A held key is one press, as the game expects; a text field asks for
    // the repeats, so that holding Backspace goes on deleting.
    if (k.repeat && !Input_KeyRepeatEnabled()) return;
    int fallback = FallbackChar(k.keysym.sym, k.keysym.mod);
    if (fallback >= 32 && !(k.keysym.mod & (KMOD_CTRL | KMOD_ALT))) {
        // Printable: the text event that follows knows the layout's character.
        s_pendingScan = code;
        s_pendingChar = fallback;
        return;
    }
    Input_RawKey(code, 1, fallback);
}

// --- the backend operations ---

// One attempt at the video driver; null, or why there is no display.
static const char* SdlTryVideo(void)
{
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS) != 0) return SDL_GetError();
    // Without a display SDL falls back on drivers that show nothing; they
    // count only when asked for by name (SDL_VIDEODRIVER).
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (driver && (!strcmp(driver, "offscreen") || !strcmp(driver, "dummy")) &&
        !(asked && !strcmp(asked, driver))) {
        SDL_Quit();
        return "SDL found no X11 or Wayland display, only a video driver that shows nothing";
    }
    return nullptr;
}

static int SdlInit(void)
{
    // Our own SIGINT/SIGTERM handlers post the quit.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // An X server that is busy accepting refuses a quick second connection
    // (EAGAIN), and SDL probes the display before it opens it: try a few times.
    const char* reason = nullptr;
    for (int attempt = 0; attempt < 5; attempt++) {
        reason = SdlTryVideo();
        if (!reason) break;
        SDL_Quit();
        SDL_Delay(20);
    }
    if (reason) {
        fprintf(stderr,
                "Quorvex: no display available: %s; set QUORVEX_PLATFORM=headless to run "
                "without a window\n",
                reason);
        TLOG(TLOG_ERROR, "No display available: %s", reason);
        return 0;
    }
    s_sdlUp = 1;
    return 1;
}

static void SdlCloseVideo(void);
static void SdlCloseAudio(void);

static void SdlClose(void)
{
    SdlCloseAudio();
    SdlCloseVideo();
    if (s_sdlUp) SDL_Quit();
    s_sdlUp = 0;
}

static void RenderTexture(void);

static void Repaint(void)
{
    if (!s_renderer || !s_texture) return;
    RenderTexture();
    SDL_RenderPresent(s_renderer);
    s_repaints++;
}

static void SdlPump(void)
{
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        switch (e.type) {
        case SDL_QUIT: Plat_PostQuit(); break;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) Plat_SetActive(1);
            // Uncovered: what covered the window is gone only once the frame
            // is shown again, and a frozen game presents none of its own.
            if (e.window.event == SDL_WINDOWEVENT_EXPOSED) Repaint();
            if (e.window.event == SDL_WINDOWEVENT_ENTER) Input_RawMouseInside(1);
            if (e.window.event == SDL_WINDOWEVENT_LEAVE) Input_RawMouseInside(0);
            if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
                FlushPendingKey(s_pendingChar);
                // The releases will go to another window: nothing stays held.
                Input_RawReleaseAll();
                Plat_SetActive(0);
            }
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: OnKey(e.key); break;
        case SDL_TEXTINPUT:
            if (s_pendingScan) FlushPendingKey(TextChar(e.text.text));
            break;
        case SDL_MOUSEMOTION: Input_RawMouseMove(e.motion.x, e.motion.y); break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            Input_RawMouseMove(e.button.x, e.button.y);
            if (e.button.button == SDL_BUTTON_LEFT)
                Input_RawMouseButton(0, e.button.state == SDL_PRESSED);
            else if (e.button.button == SDL_BUTTON_RIGHT)
                Input_RawMouseButton(1, e.button.state == SDL_PRESSED);
            break;
        case SDL_MOUSEWHEEL: {
            int y = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
            Input_RawWheel(y * 120);
            break;
        }
        default: break;
        }
    }
    FlushPendingKey(s_pendingChar);
}

static uint32_t SdlTicks(void) { return SDL_GetTicks(); }
static void SdlIdle(void) { SDL_Delay(1); }

static int SdlOpenVideo(int windowed)
{
    if (s_window) return 1;
    Uint32 flags = windowed ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP;
    s_window = SDL_CreateWindow("Quorvex Engine", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                PLAT_WIDTH, PLAT_HEIGHT, flags);
    if (!s_window) {
        TLOG(TLOG_ERROR, "Cannot create the window: %s", SDL_GetError());
        return 0;
    }
    // Whole pixels when scaled: the art is pixel art.
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    s_renderer = SDL_CreateRenderer(s_window, -1, 0);
    if (!s_renderer) s_renderer = SDL_CreateRenderer(s_window, -1, SDL_RENDERER_SOFTWARE);
    if (s_renderer) {
        SDL_RenderSetLogicalSize(s_renderer, PLAT_WIDTH, PLAT_HEIGHT);
        s_texture = SDL_CreateTexture(s_renderer, SDL_PIXELFORMAT_ARGB8888,
                                      SDL_TEXTUREACCESS_STREAMING, PLAT_WIDTH, PLAT_HEIGHT);
    }
    if (!s_renderer || !s_texture) {
        TLOG(TLOG_ERROR, "Cannot create the renderer: %s", SDL_GetError());
        SdlCloseVideo();
        return 0;
    }
    // The game draws its own pointer into the frame.
    SDL_ShowCursor(SDL_DISABLE);
    SDL_StartTextInput();
    SDL_SetRenderDrawColor(s_renderer, 0, 0, 0, 255);
    SDL_RenderClear(s_renderer);
    SDL_RenderPresent(s_renderer);
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(s_renderer, &info) == 0)
        TLOG(TLOG_DIAG, "Window open: %s, renderer %s", windowed ? "windowed" : "full screen",
             info.name);
    return 1;
}

static void SdlCloseVideo(void)
{
    if (s_texture) SDL_DestroyTexture(s_texture);
    if (s_renderer) SDL_DestroyRenderer(s_renderer);
    if (s_window) {
        SDL_StopTextInput();
        SDL_DestroyWindow(s_window);
    }
    s_texture = nullptr;
    s_renderer = nullptr;
    s_window = nullptr;
}

static void RenderTexture(void)
{
    SDL_RenderClear(s_renderer);
    SDL_RenderCopy(s_renderer, s_texture, nullptr, nullptr);
}

static void SdlPresent(const uint8_t* pixels, const PAL_RGB* palette)
{
    if (!s_texture || !pixels || !palette) return;
    uint32_t lut[256];
    for (int i = 0; i < 256; i++)
        lut[i] = 0xFF000000u | ((uint32_t)palette[i].r << 16) | ((uint32_t)palette[i].g << 8) |
                 palette[i].b;
    void* dst = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(s_texture, nullptr, &dst, &pitch) != 0) {
        TLOG(TLOG_WARNING, "Cannot lock the frame texture: %s", SDL_GetError());
        return;
    }
    for (int y = 0; y < PLAT_HEIGHT; y++) {
        uint32_t* row = (uint32_t*)((uint8_t*)dst + (size_t)y * pitch);
        const uint8_t* src = pixels + (size_t)y * PLAT_WIDTH;
        for (int x = 0; x < PLAT_WIDTH; x++) row[x] = lut[src[x]];
    }
    SDL_UnlockTexture(s_texture);
    RenderTexture();
    SDL_RenderPresent(s_renderer);
}

static void SdlWarpMouse(int x, int y)
{
    if (s_window && s_renderer) {
        int wx = x, wy = y;
        SDL_RenderLogicalToWindow(s_renderer, (float)x, (float)y, &wx, &wy);
        SDL_WarpMouseInWindow(s_window, wx, wy);
    }
    Input_RawMouseMove(x, y);
}

static void AudioCallback(void*, Uint8* stream, int len) { Sound_Mix(stream, len); }

static int SdlOpenAudio(void)
{
    if (s_audio) return 1;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        TLOG(TLOG_WARNING, "No audio: %s", SDL_GetError());
        return 0;
    }
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = PLAT_AUDIO_RATE;
    want.format = AUDIO_U8;
    want.channels = 1;
    want.samples = 512;
    want.callback = AudioCallback;
    SDL_AudioSpec have;
    // No changes allowed: SDL converts to what the device takes.
    s_audio = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!s_audio) {
        TLOG(TLOG_WARNING, "Cannot open the audio device: %s", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return 0;
    }
    SDL_PauseAudioDevice(s_audio, 0);
    TLOG(TLOG_DIAG, "Audio open (%s)", SDL_GetCurrentAudioDriver());
    return 1;
}

static void SdlCloseAudio(void)
{
    if (!s_audio) return;
    SDL_CloseAudioDevice(s_audio);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    s_audio = 0;
}

static void SdlLockAudio(int lock)
{
    if (!s_audio) return;
    if (lock)
        SDL_LockAudioDevice(s_audio);
    else
        SDL_UnlockAudioDevice(s_audio);
}

static void SdlDialog(const char* title, const char* body)
{
    // Nothing is left to close cleanly: Ctrl+C must end the program even
    // while the box waits for a click.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, body, nullptr);
}

const PLAT_BACKEND g_PlatSdl = {
    "sdl",          SdlInit,       SdlClose,     SdlPump,      SdlTicks,
    SdlTicks,       SdlIdle,       SdlOpenVideo, SdlCloseVideo, SdlPresent,
    SdlWarpMouse,   SdlOpenAudio,  SdlCloseAudio, SdlLockAudio, SdlDialog,
};

int PlatSdl_ReadBack(uint32_t* argb)
{
    if (!s_renderer || !argb) return 0;
    int w = 0, h = 0;
    if (SDL_GetRendererOutputSize(s_renderer, &w, &h) != 0 || w != PLAT_WIDTH ||
        h != PLAT_HEIGHT)
        return 0;
    RenderTexture();
    if (SDL_RenderReadPixels(s_renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, argb,
                             PLAT_WIDTH * 4) != 0) {
        TLOG(TLOG_WARNING, "Cannot read the window back: %s", SDL_GetError());
        return 0;
    }
    for (int i = 0; i < PLAT_WIDTH * PLAT_HEIGHT; i++) argb[i] &= 0x00FFFFFFu;
    SDL_RenderPresent(s_renderer);
    return 1;
}

int PlatSdl_Repaints(void) { return s_repaints; }

int PlatSdl_WindowInfo(const char** title, int* w, int* h)
{
    if (!s_window) return 0;
    if (title) *title = SDL_GetWindowTitle(s_window);
    SDL_GetWindowSize(s_window, w, h);
    return 1;
}
