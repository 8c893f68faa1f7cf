// WAV sound files.
//
// Everything the mixer plays is 11025 Hz unsigned 8-bit mono. The reader
// accepts the common PCM layouts (8-bit unsigned or 16-bit signed, any
// number of channels, 4000..96000 Hz) and converts them to that form on
// load, so the mixer never resamples. The writer produces the mixer's form.
#pragma once

#include <cstddef>
#include <cstdint>

enum {
    WAV_RATE = 11025,
    WAV_MINRATE = 4000,
    WAV_MAXRATE = 96000,
    WAV_MAXCHANNELS = 16,
    // Files and converted sounds above this size are refused: nothing we ship
    // comes near it, and it keeps a hostile size field from exhausting memory.
    WAV_MAXBYTES = 64 * 1024 * 1024,
};

// Reads a WAV file (through Fs_Open) into 11025 Hz u8 mono: *samples is a
// Debug_Malloc'd block of *count bytes (never null on success, also for an
// empty sound). 1 ok; 0 with *samples null and *count 0 when the file is
// missing or refused, the reason logged as an error naming the file and offset.
int Wav_Load(const char* path, uint8_t** samples, int* count);
// The same over a file's bytes in memory; name is used in the messages.
int Wav_LoadMemory(const uint8_t* data, size_t len, const char* name, uint8_t** samples,
                   int* count);
// Writes count samples (11025 Hz u8 mono) as a PCM WAV file, atomically
// (a failed write keeps the previous file); 1 ok, 0 failed and logged.
int Wav_Write(const char* path, const uint8_t* samples, int count);
