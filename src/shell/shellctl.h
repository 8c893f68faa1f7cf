// The shell's control kit: the front end's pages are trees of plain control
// records run by message handlers, with the kit's fonts, palette fade and
// scroll-bar art.
//
// A control's class is a FourCC looked up in a registry (newest first, so a
// later registration wins). A message word carries the message in its low 16
// bits and two propagation bits: SHELL_TO_CHILDREN sends it on to the first
// child (with SHELL_TO_SIBLING added, so it walks the whole child list) and
// SHELL_TO_SIBLING to the next sibling; both happen in the default handler,
// after the class's own processing. A page is a DIAL root; Shell_RunDialog
// runs it until its result is nonzero.
#pragma once

#include <cstddef>
#include <cstdint>

struct SHELLCTL;
typedef intptr_t (*SHELL_HANDLER)(SHELLCTL* control, uint32_t message, intptr_t p1, intptr_t p2,
                                  intptr_t p3, intptr_t p4);

enum SHELL_STYLE : uint32_t {
    SHELL_NOHIT = 0x1,        // never the target of a mouse message
    SHELL_FOLLOW = 0x2,       // copies the parent's hot and pressed bits on update
    SHELL_HOT = 0x4,          // the pointer is inside
    SHELL_PRESSED = 0x8,
    SHELL_RIGHT = 0x10,       // TEXT alignment
    SHELL_HCENTRE = 0x20,
    SHELL_BOTTOM = 0x40,
    SHELL_VCENTRE = 0x80,
    SHELL_CLIP = 0x100,       // TEXT: clipped to the parent
    SHELL_LOOP = 0x80000,     // ANIM
    SHELL_RIGHTPRESS = 0x80000000u, // BTTN: a right press seen (nothing reads it)
};

enum SHELL_MESSAGE : uint32_t {
    SM_CREATE = 1, SM_DESTROY = 2, SM_UPDATE = 3, SM_DRAW = 16, SM_SETLOOK = 17, SM_SETIMAGERECT = 18,
    SM_MOVE = 32, SM_LEFTDOWN = 40, SM_LEFTUP = 41, SM_RIGHTDOWN = 42, SM_RIGHTUP = 43,
    SM_CLICKED = 48, SM_PRESSED = 49, SM_SETID = 50, SM_THUMBMOVED = 68, SM_SETRANGE = 69,
    SM_GETPOS = 70, SM_SCROLLTO = 80, SM_GETTOP = 81, SM_ADDLINE = 96, SM_CLEAR = 97,
    SM_FILLFILES = 98, SM_ADDSORTED = 99, SM_SELECTAT = 104, SM_SELCHANGED = 107,
    SM_SETTEXT = 112, SM_GETTEXT = 113, SM_OWN = 128,
    SHELL_TO_CHILDREN = 0x80000000u,
    SHELL_TO_SIBLING = 0x40000000u,
};

// LBOX fill flags.
enum SHELL_FILEFLAGS { SHELL_FILES_PARENT = 1, SHELL_FILES_FILES = 2, SHELL_FILES_DIRS = 4 };

enum {
    SHELL_FONT_SLOTS = 16,
    SHELL_TEXT_MAX = 255, // characters a TEXT holds
};

#define SHELL_FOURCC(a, b, c, d)                                                                   \
    ((uint32_t)(uint8_t)(a) << 24 | (uint32_t)(uint8_t)(b) << 16 | (uint32_t)(uint8_t)(c) << 8 |   \
     (uint32_t)(uint8_t)(d))

// The common part; the class's extra words follow it (Shell_Extra).
struct SHELLCTL {
    SHELLCTL* next;   // older sibling
    SHELLCTL* parent;
    SHELLCTL* child;  // newest child
    uint32_t fourcc;
    uint32_t style;   // SHELL_STYLE
    void* owned;      // freed with the control
    const uint8_t* image; // a PIXL chunk or null
    int16_t look[6];  // normal, hot, pressed: frame (x, y) or colour; TEXT: fonts
    int32_t x, y, width, height; // screen coordinates
    int32_t imageX, imageY, imageW, imageH; // image rectangle, relative to the control
    int32_t result;   // nonzero ends the control's modal loop
    SHELL_HANDLER handler;
};

// The class's extra words.
inline intptr_t* Shell_Extra(SHELLCTL* control) { return (intptr_t*)(control + 1); }

// --- controls ---
// Registers a class; 0, or -2 for a zero FourCC or a null handler.
int Shell_RegisterControlClass(uint32_t fourcc, SHELL_HANDLER handler, int extraWords);
// A new control of the class (all words zeroed, x and y made absolute from
// the parent's), created by its handler with p1..p4 and made its parent's
// first child; null when the class isn't registered or creation fails.
SHELLCTL* Shell_CreateControl(uint32_t fourcc, SHELLCTL* parent, uint32_t style, int x, int y,
                              int width, int height, intptr_t p1, intptr_t p2, intptr_t p3,
                              intptr_t p4);
// The control's handler's answer; -2 for a null control or handler.
intptr_t Shell_SendMessage(SHELLCTL* control, uint32_t message, intptr_t p1 = 0, intptr_t p2 = 0,
                           intptr_t p3 = 0, intptr_t p4 = 0);
// The control that a mouse message at (x, y) goes to, searching first and
// its siblings; null for none.
SHELLCTL* Shell_HitTest(SHELLCTL* first, int x, int y);
// Propagation, then destroy (2), follow (3), look (17), image rectangle (18)
// and owned data (128, returns the control); 0 for everything else.
intptr_t Shell_ControlDefaultHandler(SHELLCTL* control, uint32_t message, intptr_t p1, intptr_t p2,
                                     intptr_t p3, intptr_t p4);
// Runs root until its result is nonzero and returns it; 2 (quit) once the
// window's close or SIGINT was seen.
int Shell_RunDialog(SHELLCTL* root);
// 1 when (x, y) is in the control's rectangle (right and bottom exclusive).
int Shell_PointInControl(const SHELLCTL* control, int x, int y);
// Positive when b sorts after a byte-wise, 0 when equal or either is null.
int Shell_CompareText(const char* a, const char* b);

// Chooses the line of an LBOX whose text is text, scrolled into view, as a
// click on it would (the box's parent is told); 0 when no line has it.
int Shell_SelectLine(SHELLCTL* box, const char* text);

// Fade level and speed 0, fonts empty, the scroll art loaded, the classes
// RECT, BTTN, GRAB, SCRL, TEXT, LIST, SBOX and LBOX registered.
void Shell_InitControls(void);
// Fades to black and frees the registry, the scroll art and every font.
void Shell_CloseControls(void);

// --- fonts ---
// Loads the ".FLT" resource name into slot; the slot stays empty without a
// picture. An out-of-range slot is nothing to do.
void Shell_LoadFont(int slot, const char* name);
void Shell_FreeFont(int slot);
// 1 when the slot holds a font.
int Shell_FontLoaded(int slot);
// The text's width (sum of glyph widths) and the font's height; both 0 for an
// empty slot or a null text.
void Shell_MeasureText(int slot, const char* text, int* width, int* height);
// Draws text with its top left at (x, y), colour 0 transparent.
void Shell_DrawText(int slot, int x, int y, const char* text);
// As Shell_DrawText, inside clip (x, y, width, height) only.
void Shell_DrawTextClipped(int slot, int x, int y, const char* text, const int clip[4]);

// --- images ---
// Copies (sx, sy, width, height) of a PIXL chunk to (x, y) of the back buffer.
void Shell_DrawImage(const uint8_t* chunk, int x, int y, int width, int height, int sx, int sy);
// The control's look for its state: a frame of its image or an outline.
void Shell_DrawControlLook(SHELLCTL* control);

// --- palette ---
// Stores count triplets of rgb (null: keeps the store) from first and shows
// the store at the fade level.
void Shell_SetPalette(const uint8_t* rgb, int first, int count);
// One step of the running fade.
void Shell_FadeStep(void);
// A flip, then one fade step.
void Shell_FadeStepSync(void);
// Fades to the new palette (at once from black).
void Shell_ChangePalette(const uint8_t* rgb, int first, int count);
// The fade level (0..256) and speed.
int Shell_FadeLevel(void);
int Shell_FadeSpeed(void);

// --- the classes the shell's machine registers ---
// DIAL's handler (page handlers pass what they leave to it).
intptr_t Shell_DialogHandler(SHELLCTL* control, uint32_t message, intptr_t p1, intptr_t p2,
                             intptr_t p3, intptr_t p4);
intptr_t Shell_PopupHandler(SHELLCTL* control, uint32_t message, intptr_t p1, intptr_t p2,
                            intptr_t p3, intptr_t p4);
intptr_t Shell_NumberHandler(SHELLCTL* control, uint32_t message, intptr_t p1, intptr_t p2,
                             intptr_t p3, intptr_t p4);
// Frees the dialog background buffer that DIAL keeps between pages.
void Shell_FreeDialogBuffer(void);
// The shell's flip: paced to 60 a second of system clock (except on the
// headless virtual clock), then Graph_FlipWithCursor.
void Shell_Flip(void);
