// Test videos: paletted PNG frames (pixel format pal8) in a QuickTime
// container, written through FFmpeg's libavformat and libavcodec. The front
// end opens a video by its content, so these play under any name (".smk"
// included) through the same layer that plays Smacker files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The 8-bit pixels of frame number frame of a test video: a pattern that
// differs per frame and per seed.
std::vector<uint8_t> Mkdata_MovieFrame(int width, int height, int frame, int seed);
// Writes frames of Mkdata_MovieFrame at fps frames a second to path; 1 on
// success, else logs to stderr.
// hub: the half side of a black square kept in the middle of every frame
// (0: none), where a label over the video stays readable.
int Mkdata_WriteMovie(const std::string& path, int width, int height, int frames, int fps, int seed, int hub = 0);
