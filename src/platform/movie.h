// Video playback for the front end's ".smk" videos, over FFmpeg's
// libavformat and libavcodec: a file is opened by its content, so any format
// FFmpeg demuxes and decodes plays (Smacker files, and the QuickTime files of
// paletted PNG frames that mkdata writes).
//
// A video is a run of 8-bit frames counted from 0. Decoding goes forward
// only; going back before the last decoded frame reopens the file and
// decodes forward again, so a short looped video costs one reopen per loop.
// A decode writes the current frame's pixels into the destination at its
// (left, top), clipped to the destination's pitch and height. Sound and the
// file's palette are ignored: the pages keep their own palette. FFmpeg's
// messages go to the trace log.
#pragma once

#include <cstdint>

struct MOVIESTREAM;

struct MOVIE {
    int width, height;
    int frames;  // at least 1
    int current; // 0 .. frames - 1
    MOVIESTREAM* stream;
    // Destination of decodes.
    int left, top, pitch, destHeight;
    uint8_t* pixels;
    uint32_t dueMs;  // system time when the next frame is due
    uint32_t frameMs; // at the file's rate
};

// Opens the video at the game path; null (logged) when it can't be played:
// missing, not a video, no video stream or decoder, no frame.
MOVIE* Movie_Open(const char* path);
// Later decodes write to pixels (pitch bytes a row, height rows) with the
// frame's top left at (left, top).
void Movie_SetDestination(MOVIE* movie, int left, int top, int pitch, int height, uint8_t* pixels);
// Writes the current frame to the destination (nothing without one); a frame
// the file can't give leaves the last one decoded.
void Movie_DecodeFrame(MOVIE* movie);
// Advances the current frame number, never past the last frame.
void Movie_NextFrame(MOVIE* movie);
// 0 once the next frame is due at the file's rate on the system clock (the
// next one is then due a frame later), else 1.
int Movie_Wait(MOVIE* movie);
// Makes frame (past the last: the last; below 0: 0) the current one.
void Movie_GoToFrame(MOVIE* movie, int frame);
// Releases the video; null is nothing to do.
void Movie_Close(MOVIE* movie);
