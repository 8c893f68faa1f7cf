// The front end's videos: full-screen play that blocks until the last frame
// (transitions between pages, a side's video before its launch page), and
// the ANIM control that shows a looping video inside a page.
//
// Full-screen play shows every frame once, one frame per shell flip, and
// stops early once the window's close or an interrupt was seen. An ANIM
// advances one frame when the video's rate says so on a page's per-frame
// update and, with the loop bit, starts again at frame 1 after the last.
#pragma once

#include <cstdint>

struct SHELLCTL;

// The ANIM class's FourCC.
enum : uint32_t { SHELL_ANIM = 0x414E494D };

// Plays the video at the game path full screen with its top left at (x, y)
// (at (0, 0) in a window); returns after its last frame, at once when it
// can't be opened.
void Shell_PlayVideoFullScreen(const char* path, int x, int y);
// Full-screen play of the shell video name (".smk" in the data directory's
// "shell") at (0, 0).
void Shell_PlayShellVideo(const char* name);
// An ANIM child of parent playing the video at path into buffer (buffer
// width x height bytes, the video at the control's position in it) or, with
// a null buffer, into a buffer of its own that it draws; null when the video
// can't be opened.
SHELLCTL* Shell_CreateAnim(SHELLCTL* parent, uint32_t style, int x, int y, int width, int height, const char* path,
                           uint8_t* buffer, int bufferWidth, int bufferHeight);
// An ANIM of parent at (x, y) playing the shell video name with its own
// buffer; null when the video can't be opened.
SHELLCTL* Shell_PlayVideo(SHELLCTL* parent, const char* name, int x, int y);
// Registers ANIM (2 extra words: the video and the frame buffer).
void Shell_RegisterAnim(void);
// ANIM's handler: create (1), update (3), draw (16), destroy (2).
intptr_t Shell_AnimHandler(SHELLCTL* control, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3,
                           intptr_t p4);
