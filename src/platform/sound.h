// Sound effects and CD music on our own mixer.
//
// The mixer has SOUND_VOICES effect voices and one music voice, all 11025 Hz
// unsigned 8-bit mono (silence is 128). The backend's audio callback pulls
// the mix with Sound_Mix, on its own thread in a real run; every change of a
// voice from the game's side holds the callback off with Plat_LockAudio.
//
// Samples are loaded once per file and shared by every effect that names the
// file; they live until Sound_Close, so a voice never outlives its sample.
// When the audio device can't be opened digital sound is off: effects still
// bind to their files, but every play is a quiet no-op.
//
// Voices: a play takes a free effect voice; when every one is busy the new
// sound takes the voice of the lowest priority (the oldest of equals) if that
// priority is strictly lower than its own, and is dropped otherwise.
// Reserved voices are effect voices set aside for one caller (the game
// messages) with a queue of effects to play one after another.
//
// CD music: the stand-in for CD audio is one WAV file per track, "cd\trackNN.wav"
// under the data directory (NN from 01 to 99). A track is loaded whole when it
// starts; Sound_PollCD, called now and then by the update loop, starts it again
// when it has run out, which is how music loops.
//
// Sound is interface only: nothing here touches the synchronised random
// stream or the game state.
#pragma once

#include <cstdint>

enum {
    SOUND_VOICES = 16,
    SOUND_MAXRESERVED = 4,     // reserved voices at once
    SOUND_QUEUELENGTH = 8,     // effects waiting on one reserved voice
    SOUND_MAXVOLUME = 127,
    SOUND_PRIORITY_EFFECT = 1000, // the priority of Sound_Effect: above any map sound
    SOUND_MAXTRACK = 99,
};

// A sound file's samples, shared by every effect bound to that file.
struct SOUND_SAMPLE;

// An effect as the type records hold it: a sample and its volume (0..127).
// A cleared effect has no sample and plays nothing.
struct SOUND_EFFECT {
    SOUND_SAMPLE* sample;
    int volume;
};

// A voice set aside for one caller, with its queue.
struct SOUND_RESERVEDVOICE;

// --- base system ---

// Opens the audio device (Plat_OpenAudio) and looks for CD tracks; digital
// sound is off when the device can't be opened (logged as a warning).
// Fatal "Sound already initialised" on a second call.
void Sound_Init(void);
// Sound_Shutdown; fatal "Sound not initialised" before Sound_Init.
void Sound_Close(void);
// Stops every voice, closes the device, frees every sample and reserved
// voice; the fatal path's hook, so it may run any time and twice.
void Sound_Shutdown(void);
// 1 while the audio device is open.
int Sound_DigitalOn(void);

// Fills out with the next samples of the mix (11025 Hz u8 mono): silence is
// 128; each voice adds (sample - 128) x voice volume / 127 x digital volume /
// 127 (the CD voice with the CD volume), the sum clamped to 0..255. Voices
// that run out end. Called by the backend's audio callback.
void Sound_Mix(uint8_t* out, int samples);

// --- effects ---

// Binds effect to the file name in the data directory's "sound" folder
// (".wav" added when the name has none) with volume clamped to 0..127. The
// file is read once and shared. A missing or broken file leaves the effect
// cleared, with a warning naming it.
void Sound_InitEffect(SOUND_EFFECT* effect, const char* filename, int volume);
// 1 when the effect is null or has no sample.
int Sound_IsClearedEffect(const SOUND_EFFECT* effect);
// Ends the voices that owner is playing (-1: none), then plays the effect at
// its own volume with priority SOUND_PRIORITY_EFFECT; 1 when it plays.
int Sound_Effect(const SOUND_EFFECT* effect, int owner);
// Plays the effect at volume (0..127) with priority, recording owner for a
// later Sound_Effect of the same owner; ends nothing. 1 when it plays, 0
// when cleared, sound is off, or every voice holds an equal or higher priority.
int Sound_PlaySoundEffect(const SOUND_EFFECT* effect, int owner, int volume, int priority);
// Effect voices playing now, reserved ones included (for tests and displays).
int Sound_VoicesPlaying(void);

// --- reserved voices ---

// Sets a voice aside; null when digital sound is off or SOUND_MAXRESERVED are
// taken. Every reserved call below takes null as a quiet no-op.
SOUND_RESERVEDVOICE* Sound_GetReserved(void);
// Plays effect on the voice only when it is idle: nothing playing and nothing
// queued. 1 when it plays.
int Sound_PlayReserved(SOUND_RESERVEDVOICE* rv, const SOUND_EFFECT* effect);
// Plays effect after what the voice is playing and what is queued before it
// (at once when the voice is idle). 1 when queued or playing; 0 when the
// effect is cleared or the queue is full (logged as a warning).
int Sound_QueueReserved(SOUND_RESERVEDVOICE* rv, const SOUND_EFFECT* effect);
// Starts the next queued effect when the voice has finished; 1 when one starts.
int Sound_UpdateReserved(SOUND_RESERVEDVOICE* rv);
// 1 while the voice plays (queued effects not counted).
int Sound_ReservedPlaying(SOUND_RESERVEDVOICE* rv);
// Stops the voice, empties its queue and returns the voice to the effects;
// the handle is not to be used afterwards.
void Sound_ReleaseReserved(SOUND_RESERVEDVOICE* rv);

// --- volumes ---

// The master volume of the effect voices, clamped to 0..127 (127 at start).
void Sound_SetDigitalVolume(int volume);
int Sound_GetDigitalVolume(void);

// --- CD music ---

// 1 when the audio device is open and a track file existed at Sound_Init.
int Sound_RedbookOn(void);
// The track playing or looping, 0 when none.
int Sound_CdTrack(void);
// Starts track (1..99) from its beginning. A track outside 1..99 or without a
// file stops the music quietly; a broken file stops it with the reader's error.
void Sound_PlayCD(int track);
// Stops the music; Sound_CdTrack becomes 0.
void Sound_StopCD(void);
// The music volume, clamped to 0..127 (127 at start).
void Sound_SetCdVolume(int volume);
int Sound_GetCdVolume(void);
// Starts the current track again when it has run out (the update loop calls
// it every 1024 updates, so music loops with at most that long a pause).
void Sound_PollCD(void);
// 1 while the music voice has samples left to play.
int Sound_CdPlaying(void);
