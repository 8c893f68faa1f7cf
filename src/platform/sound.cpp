// The mixer, effects, reserved voices and CD music.
//
// Threads: Sound_Mix runs in the backend's audio callback, which the backend
// holds off while Plat_LockAudio(1) is in force. Every read or write of a
// voice, of the volumes or of the music voice from the game's side therefore
// happens between Lock() and Unlock(); the sample list, the reserved-voice
// records and the CD track number belong to the game's thread alone. Sample
// memory is freed only after the voices that point into it have been cleared
// under the lock, so the callback never reads freed memory.
#include "platform/sound.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/debug.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/guard.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "platform/plat.h"
#include "platform/wav.h"

struct SOUND_SAMPLE {
    char* key; // the resolved path: one record per file
    uint8_t* data;
    int count;
    SOUND_SAMPLE* next;
};

struct VOICE {
    const uint8_t* data; // null while idle
    int count;
    int pos;
    int volume; // scaled so that 127 x 127 is full volume
    int owner;
    int priority;
    uint32_t serial; // play order: the oldest of equal priority is taken first
    int reserved;    // set aside for a reserved voice
};

struct QUEUED {
    const SOUND_SAMPLE* sample;
    int volume;
};

struct SOUND_RESERVEDVOICE {
    int inuse;
    int voice;
    QUEUED queue[SOUND_QUEUELENGTH]; // a ring from head
    int head;
    int length;
};

static VOICE s_voices[SOUND_VOICES];
static VOICE s_cd;
static uint8_t* s_cdData; // owned; s_cd.data points here while the track plays
static int s_cdTrack;
static MODULE_GUARD s_guard = MODULE_GUARD_INIT("Sound");
static int s_open;
static int s_redbook;
static int s_digitalVolume = SOUND_MAXVOLUME;
static int s_cdVolume = SOUND_MAXVOLUME;
static uint32_t s_serial;
static SOUND_SAMPLE* s_samples;
static SOUND_RESERVEDVOICE s_reserved[SOUND_MAXRESERVED];

// The callback runs only while the device is open; before that there is no
// other thread to hold off.
static void Lock(void)
{
    if (s_open) Plat_LockAudio(1);
}
static void Unlock(void)
{
    if (s_open) Plat_LockAudio(0);
}

static int ClampVolume(int v) { return v < 0 ? 0 : v > SOUND_MAXVOLUME ? SOUND_MAXVOLUME : v; }

// --- the mix (callback thread) ---

static int Playing(const VOICE& v) { return v.data != nullptr; }

static int NextSample(VOICE& v)
{
    int s = (int)v.data[v.pos] - 128;
    if (++v.pos >= v.count) v.data = nullptr;
    return s;
}

void Sound_Mix(uint8_t* out, int samples)
{
    if (!out || samples <= 0) return;
    const int full = SOUND_MAXVOLUME * SOUND_MAXVOLUME;
    for (int i = 0; i < samples; i++) {
        // At most 17 voices x 128 x 127 x 127: well inside an int.
        int acc = 0;
        for (VOICE& v : s_voices)
            if (Playing(v)) acc += NextSample(v) * v.volume * s_digitalVolume;
        if (Playing(s_cd)) acc += NextSample(s_cd) * s_cdVolume * SOUND_MAXVOLUME;
        int value = acc / full;
        if (value < -128) value = -128;
        if (value > 127) value = 127;
        out[i] = (uint8_t)(value + 128);
    }
}

// --- voices (lock held) ---

static void StopVoice(VOICE& v) { v.data = nullptr; }

static void StartVoice(VOICE& v, const SOUND_SAMPLE* s, int volume, int owner, int priority)
{
    v.data = s->count > 0 ? s->data : nullptr;
    v.count = s->count;
    v.pos = 0;
    v.volume = ClampVolume(volume);
    v.owner = owner;
    v.priority = priority;
    v.serial = ++s_serial;
}

// A free effect voice, else the one that a sound of this priority may take;
// -1 when the sound has to be dropped.
static int ChooseVoice(int priority)
{
    int victim = -1;
    for (int i = 0; i < SOUND_VOICES; i++) {
        const VOICE& v = s_voices[i];
        if (v.reserved) continue;
        if (!Playing(v)) return i;
        if (victim < 0 || v.priority < s_voices[victim].priority ||
            (v.priority == s_voices[victim].priority && v.serial < s_voices[victim].serial))
            victim = i;
    }
    if (victim >= 0 && s_voices[victim].priority < priority) return victim;
    return -1;
}

static void StopOwnerLocked(int owner)
{
    for (VOICE& v : s_voices)
        if (!v.reserved && Playing(v) && v.owner == owner) StopVoice(v);
}

static int PlayLocked(const SOUND_EFFECT* effect, int owner, int volume, int priority)
{
    int i = ChooseVoice(priority);
    if (i < 0) return 0;
    StartVoice(s_voices[i], effect->sample, volume, owner, priority);
    return 1;
}

// --- base system ---

static void TrackPath(int track, char* out)
{
    char name[16];
    snprintf(name, sizeof name, "track%02d", track);
    Utils_MakePath(out, g_DataDir, "cd", "", name, ".wav");
}

void Sound_Init(void)
{
    Guard_Init(&s_guard);
    s_digitalVolume = SOUND_MAXVOLUME;
    s_cdVolume = SOUND_MAXVOLUME;
    s_cdTrack = 0;
    s_redbook = 0;
    memset(s_voices, 0, sizeof s_voices);
    memset(&s_cd, 0, sizeof s_cd);
    memset(s_reserved, 0, sizeof s_reserved);
    if (!Plat_OpenAudio()) {
        TLOG(TLOG_WARNING, "No audio device: digital sound is off");
        return;
    }
    s_open = 1;
    char path[UTILS_PATH];
    for (int t = 1; t <= SOUND_MAXTRACK && !s_redbook; t++) {
        TrackPath(t, path);
        if (path[0] && Fs_Exists(path)) s_redbook = 1;
    }
    TLOG(TLOG_DIAG, "Sound: %d voices at %d Hz, CD music %s", SOUND_VOICES, PLAT_AUDIO_RATE,
         s_redbook ? "found" : "absent");
}

void Sound_Close(void)
{
    Guard_Close(&s_guard);
    Sound_Shutdown();
}

void Sound_Shutdown(void)
{
    Lock();
    for (VOICE& v : s_voices) v = VOICE{};
    s_cd = VOICE{};
    Unlock();
    if (s_open) Plat_CloseAudio();
    s_open = 0;
    s_redbook = 0;
    s_cdTrack = 0;
    Debug_Free(&s_cdData);
    memset(s_reserved, 0, sizeof s_reserved);
    while (s_samples) {
        SOUND_SAMPLE* s = s_samples;
        s_samples = s->next;
        Debug_Free(&s->key);
        Debug_Free(&s->data);
        Debug_Free(&s);
    }
}

int Sound_DigitalOn(void) { return s_open; }

// --- effects ---

static const char* Extension(const char* name)
{
    const char* dot = strrchr(name, '.');
    if (!dot || strpbrk(dot, "\\/")) return nullptr;
    return dot;
}

static SOUND_SAMPLE* FindOrLoad(const char* path)
{
    std::string key = Fs_Resolve(path);
    for (SOUND_SAMPLE* s = s_samples; s; s = s->next)
        if (key == s->key) return s;
    uint8_t* data;
    int count;
    if (!Wav_Load(path, &data, &count)) return nullptr;
    SOUND_SAMPLE* s = (SOUND_SAMPLE*)Debug_Calloc(1, sizeof(SOUND_SAMPLE));
    s->key = Debug_Strdup(key.c_str());
    s->data = data;
    s->count = count;
    s->next = s_samples;
    s_samples = s;
    return s;
}

void Sound_InitEffect(SOUND_EFFECT* effect, const char* filename, int volume)
{
    ASSERT(effect);
    effect->sample = nullptr;
    effect->volume = ClampVolume(volume);
    if (!filename || !*filename) {
        TLOG(TLOG_WARNING, "Sound effect without a file name");
        return;
    }
    char path[UTILS_PATH];
    if (!Utils_MakePath(path, g_DataDir, "sound", "", filename,
                        Extension(filename) ? "" : ".wav")) {
        TLOG(TLOG_WARNING, "Sound file name too long: [%s]", filename);
        return;
    }
    effect->sample = FindOrLoad(path);
    if (!effect->sample)
        TLOG(TLOG_WARNING, "Unable to load sound effect [%s]", Fs_Resolve(path).c_str());
}

int Sound_IsClearedEffect(const SOUND_EFFECT* effect) { return !effect || !effect->sample; }

int Sound_Effect(const SOUND_EFFECT* effect, int owner)
{
    if (!s_open) return 0;
    Lock();
    if (owner != -1) StopOwnerLocked(owner);
    int played = !Sound_IsClearedEffect(effect) &&
                 PlayLocked(effect, owner, effect->volume, SOUND_PRIORITY_EFFECT);
    Unlock();
    return played;
}

int Sound_PlaySoundEffect(const SOUND_EFFECT* effect, int owner, int volume, int priority)
{
    if (!s_open || Sound_IsClearedEffect(effect)) return 0;
    Lock();
    int played = PlayLocked(effect, owner, volume, priority);
    Unlock();
    return played;
}

int Sound_VoicesPlaying(void)
{
    int n = 0;
    Lock();
    for (const VOICE& v : s_voices) n += Playing(v);
    Unlock();
    return n;
}

// --- reserved voices ---

static int Valid(const SOUND_RESERVEDVOICE* rv)
{
    return rv && rv >= s_reserved && rv < s_reserved + SOUND_MAXRESERVED && rv->inuse;
}

SOUND_RESERVEDVOICE* Sound_GetReserved(void)
{
    if (!s_open) return nullptr;
    for (SOUND_RESERVEDVOICE& rv : s_reserved) {
        if (rv.inuse) continue;
        // Reserved voices come from the top, effects fill from the bottom.
        int voice = SOUND_VOICES - 1;
        while (s_voices[voice].reserved) voice--;
        rv = SOUND_RESERVEDVOICE{};
        rv.inuse = 1;
        rv.voice = voice;
        Lock();
        StopVoice(s_voices[voice]);
        s_voices[voice].reserved = 1;
        Unlock();
        return &rv;
    }
    TLOG(TLOG_WARNING, "No reserved voice left (%d in use)", SOUND_MAXRESERVED);
    return nullptr;
}

static void StartReserved(SOUND_RESERVEDVOICE* rv, const SOUND_SAMPLE* s, int volume)
{
    StartVoice(s_voices[rv->voice], s, volume, -1, SOUND_PRIORITY_EFFECT);
}

int Sound_PlayReserved(SOUND_RESERVEDVOICE* rv, const SOUND_EFFECT* effect)
{
    if (!Valid(rv) || Sound_IsClearedEffect(effect)) return 0;
    Lock();
    int idle = !Playing(s_voices[rv->voice]) && rv->length == 0;
    if (idle) StartReserved(rv, effect->sample, effect->volume);
    Unlock();
    return idle;
}

int Sound_QueueReserved(SOUND_RESERVEDVOICE* rv, const SOUND_EFFECT* effect)
{
    if (!Valid(rv) || Sound_IsClearedEffect(effect)) return 0;
    Lock();
    int result = 1;
    if (!Playing(s_voices[rv->voice]) && rv->length == 0)
        StartReserved(rv, effect->sample, effect->volume);
    else if (rv->length == SOUND_QUEUELENGTH)
        result = 0;
    else
        rv->queue[(rv->head + rv->length++) % SOUND_QUEUELENGTH] = {effect->sample, effect->volume};
    Unlock();
    if (!result)
        TLOG(TLOG_WARNING, "Reserved voice queue full (%d): sound dropped", SOUND_QUEUELENGTH);
    return result;
}

int Sound_UpdateReserved(SOUND_RESERVEDVOICE* rv)
{
    if (!Valid(rv)) return 0;
    Lock();
    int start = !Playing(s_voices[rv->voice]) && rv->length > 0;
    if (start) {
        QUEUED q = rv->queue[rv->head];
        rv->head = (rv->head + 1) % SOUND_QUEUELENGTH;
        rv->length--;
        StartReserved(rv, q.sample, q.volume);
    }
    Unlock();
    return start;
}

int Sound_ReservedPlaying(SOUND_RESERVEDVOICE* rv)
{
    if (!Valid(rv)) return 0;
    Lock();
    int playing = Playing(s_voices[rv->voice]);
    Unlock();
    return playing;
}

void Sound_ReleaseReserved(SOUND_RESERVEDVOICE* rv)
{
    if (!Valid(rv)) return;
    Lock();
    StopVoice(s_voices[rv->voice]);
    s_voices[rv->voice].reserved = 0;
    Unlock();
    *rv = SOUND_RESERVEDVOICE{};
}

// --- volumes ---

void Sound_SetDigitalVolume(int volume)
{
    Lock();
    s_digitalVolume = ClampVolume(volume);
    Unlock();
}

int Sound_GetDigitalVolume(void) { return s_digitalVolume; }

void Sound_SetCdVolume(int volume)
{
    Lock();
    s_cdVolume = ClampVolume(volume);
    Unlock();
}

int Sound_GetCdVolume(void) { return s_cdVolume; }

// --- CD music ---

int Sound_RedbookOn(void) { return s_redbook; }
int Sound_CdTrack(void) { return s_cdTrack; }

void Sound_StopCD(void)
{
    Lock();
    s_cd = VOICE{};
    Unlock();
    // The callback no longer points into the track: it may go.
    Debug_Free(&s_cdData);
    s_cdTrack = 0;
}

void Sound_PlayCD(int track)
{
    Sound_StopCD();
    if (!s_open || track < 1 || track > SOUND_MAXTRACK) return;
    char path[UTILS_PATH];
    TrackPath(track, path);
    if (!path[0] || !Fs_Exists(path)) {
        TLOG(TLOG_DIAG, "No CD track %d [%s]", track, Fs_Resolve(path).c_str());
        return;
    }
    uint8_t* data;
    int count;
    if (!Wav_Load(path, &data, &count)) return;
    s_cdData = data;
    s_cdTrack = track;
    Lock();
    s_cd.data = count > 0 ? data : nullptr;
    s_cd.count = count;
    s_cd.pos = 0;
    Unlock();
}

void Sound_PollCD(void)
{
    if (!s_cdTrack || !s_cdData) return;
    Lock();
    if (!Playing(s_cd) && s_cd.count > 0) {
        s_cd.data = s_cdData;
        s_cd.pos = 0;
    }
    Unlock();
}

int Sound_CdPlaying(void)
{
    Lock();
    int playing = Playing(s_cd);
    Unlock();
    return playing;
}
