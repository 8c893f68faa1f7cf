// WAV conversion and refusal, the mixer, voices, reserved voices and CD music.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/debug.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "platform/plat.h"
#include "platform/sound.h"
#include "platform/wav.h"
#include "support/testsupport.h"

namespace {

std::string Le16(unsigned v) { return std::string{(char)(v & 0xFF), (char)((v >> 8) & 0xFF)}; }
std::string Le32(unsigned v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

std::string Chunk(const char* id, const std::string& body, bool pad = true)
{
    std::string c = std::string(id, 4) + Le32((unsigned)body.size()) + body;
    if (pad && body.size() % 2) c += '\0';
    return c;
}

std::string FmtBody(unsigned tag, unsigned channels, unsigned rate, unsigned bits, int align = -1)
{
    unsigned a = align < 0 ? channels * bits / 8 : (unsigned)align;
    return Le16(tag) + Le16(channels) + Le32(rate) + Le32(rate * a) + Le16(a) + Le16(bits);
}

std::string Riff(const std::string& chunks)
{
    return "RIFF" + Le32(4 + (unsigned)chunks.size()) + "WAVE" + chunks;
}

std::string Wav(unsigned channels, unsigned rate, unsigned bits, const std::string& data)
{
    return Riff(Chunk("fmt ", FmtBody(1, channels, rate, bits)) + Chunk("data", data));
}

std::string Pcm16(const std::vector<int>& values)
{
    std::string s;
    for (int v : values) s += Le16((unsigned)(v & 0xFFFF));
    return s;
}

// The converted samples; "!" when refused (with the outputs checked cleared).
std::string Load(const std::string& bytes, const char* name = "test.wav")
{
    uint8_t* s = (uint8_t*)1;
    int n = -1;
    if (!Wav_LoadMemory((const uint8_t*)bytes.data(), bytes.size(), name, &s, &n)) {
        EXPECT_TRUE(s == nullptr && n == 0);
        return "!";
    }
    std::string r(s, s + n);
    Debug_Free(&s);
    return r;
}

} // namespace

// A square wave whose channels sit 0x1000 either side of it at 22050 Hz: the
// mean is the square, every other frame. A ramp at 7350 Hz (two thirds of the
// output rate) of 768 per frame gives exactly 2 per output sample, held past
// the last frame.
TEST(WavConvert, RatesAreResampledAndChannelsAveraged)
{
    std::vector<int> pcm, ramp;
    for (int i = 0; i < 1000; i++) {
        int square = (i / 50) % 2 ? 0x4000 : -0x4000;
        pcm.push_back(square + 0x1000);
        pcm.push_back(square - 0x1000);
    }
    for (int k = 0; k < 64; k++) ramp.push_back(k * 768 - 32768);
    std::string halved = Load(Wav(2, 22050, 16, Pcm16(pcm))), upsampled = Load(Wav(1, 7350, 16, Pcm16(ramp)));
    ASSERT_EQ(halved.size(), 500u);
    for (int j = 0; j < 500; j++) ASSERT_EQ((uint8_t)halved[j], (2 * j / 50) % 2 ? 0xC0 : 0x40) << j;
    ASSERT_EQ(upsampled.size(), 96u);
    for (int i = 0; i < 95; i++) ASSERT_EQ((uint8_t)upsampled[i], 2 * i) << i;
    EXPECT_EQ((uint8_t)upsampled[95], 189);
}

TEST(WavConvert, LayoutsReadToTheirSamples)
{
    static const char guid[] = "\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71";
    std::string fmt8 = Chunk("fmt ", FmtBody(1, 1, 11025, 8));
    const struct {
        const char* name;
        std::string bytes, samples;
    } rows[] = {
        {"extensible PCM header",
         Riff(Chunk("fmt ", FmtBody(0xFFFE, 1, 11025, 16) + Le16(22) + Le16(16) + Le32(4) +
                                std::string(guid, 16)) +
              Chunk("data", Pcm16({0x7F00, -0x8000}))),
         std::string("\xFF\x00", 2)},
        // Misreading the pad byte of an odd chunk would shift every later chunk.
        {"odd unknown chunk skipped with its pad",
         Riff(Chunk("LIST", "abc") + fmt8 + Chunk("data", "\x10\x20\x30")), "\x10\x20\x30"},
        {"the last chunk's pad byte missing", Riff(fmt8 + Chunk("data", "\x10\x20\x30", false)),
         "\x10\x20\x30"},
    };
    for (const auto& row : rows) EXPECT_EQ(Load(row.bytes), row.samples) << row.name;
}

// Each refused file fails and reports exactly its line.
TEST(WavRefuses, BrokenFilesNameTheOffsetAndTheFault)
{
    QvLogCapture log;
    std::string good = Wav(2, 22050, 16, Pcm16({1, 2, 3, 4}));
    // Cut inside the data chunk, with the RIFF size made to match the cut.
    std::string cut = good.substr(0, good.size() - 4);
    cut.replace(4, 4, Le32((unsigned)cut.size() - 8));
    std::string fmt8 = Chunk("fmt ", FmtBody(1, 1, 11025, 8));
    std::string data = Chunk("data", "abcd");
    auto fmt = [&](const std::string& body) { return Riff(Chunk("fmt ", body) + data); };
    const std::pair<std::string, std::string> rows[] = {
        {"", "offset 0: 0 bytes, too short for a RIFF header"},
        {good.substr(0, good.size() - 1),
         "offset 4: RIFF size 44 runs past the end of the file (51 bytes)"},
        {cut, "offset 36: chunk [data] of 8 bytes runs past the end (4 bytes left)"},
        {Riff(fmt8 + "data" + Le32(0xFFFFFFFFu) + "xy"),
         "offset 36: chunk [data] of 4294967295 bytes runs past the end (2 bytes left)"},
        {"RIFF" + Le32(4) + "AVI ", "offset 8: RIFF form is not WAVE"},
        {Riff(Chunk("data", "ab")), "offset 22: no fmt chunk"},
        {Riff(fmt8), "offset 36: no data chunk"},
        {fmt(FmtBody(3, 1, 11025, 32)),
         "offset 20: format 3 is not PCM (compressed and float sounds are not supported)"},
        {fmt(FmtBody(1, 1, 11025, 24)), "offset 34: 24 bits per sample, 8 or 16 supported"},
        {fmt(FmtBody(1, 1, 96001, 8)), "offset 24: sample rate 96001 Hz, 4000 to 96000 supported"},
        {Riff(Chunk("fmt ", FmtBody(1, 2, 11025, 16)) + Chunk("data", "abcdef")),
         "offset 36: data chunk of 6 bytes is not a whole number of 4-byte frames"},
    };
    for (const auto& row : rows) {
        log.clear();
        EXPECT_EQ(Load(row.first, "bad.wav"), "!") << row.second;
        EXPECT_EQ(log.text(), "Sound file [bad.wav] " + row.second + "\n");
    }
    QvTempDir dir;
    uint8_t* s;
    int n;
    EXPECT_FALSE(Wav_Load(dir.file("absent.wav").c_str(), &s, &n));
    EXPECT_NE(log.text().find("Sound file [" + dir.file("absent.wav") + "]: cannot open"), std::string::npos);
}

namespace {

// A sound directory of constant-valued effects and a started sound system.
class SoundTest : public testing::Test {
protected:
    void SetUp() override
    {
        memcpy(oldDataDir_, g_DataDir, sizeof oldDataDir_);
        snprintf(g_DataDir, sizeof g_DataDir, "%s", data_.path().c_str());
        std::filesystem::create_directories(data_.file("sound"));
        std::filesystem::create_directories(data_.file("cd"));
    }
    void TearDown() override
    {
        if (started_) Sound_Close();
        memcpy(g_DataDir, oldDataDir_, sizeof oldDataDir_);
    }
    std::string Log() const { return log_.text(); }
    // Writes data/<name>: length samples at 128 + offset.
    void WriteConstant(const std::string& name, int offset, int length)
    {
        std::vector<uint8_t> s((size_t)length, (uint8_t)(128 + offset));
        ASSERT_TRUE(Wav_Write(data_.file(name).c_str(), s.data(), length));
    }
    SOUND_EFFECT Effect(int offset, int length = 100, int volume = 127)
    {
        std::string name = "c" + std::to_string(offset + 200) + "_" + std::to_string(length);
        WriteConstant("sound/" + name + ".wav", offset, length);
        SOUND_EFFECT e;
        Sound_InitEffect(&e, name.c_str(), volume);
        return e;
    }
    std::vector<uint8_t> Mix(int n)
    {
        std::vector<uint8_t> out((size_t)n);
        Sound_Mix(out.data(), n);
        return out;
    }
    int MixOne() { return Mix(1)[0]; }
    void Start()
    {
        Sound_Init();
        started_ = true;
    }
    void Stop()
    {
        Sound_Close();
        started_ = false;
    }

    QvLogCapture log_;
    QvTempDir data_;
    char oldDataDir_[GAME_PATH];
    bool started_ = false;
};

} // namespace

class SoundMixer : public SoundTest {};

TEST_F(SoundMixer, VolumesScaleEachVoiceAndTheWholeAndTheSumIsClamped)
{
    const struct {
        const char* name;
        std::vector<int> callvolumes; // each voice at +100, effect volume 64; -1: Sound_Effect
        int digital, first;
    } rows[] = {
        {"clamped", {127, 127}, 127, 255},
        {"the effect's volume", {-1}, 127, 178},
        {"the call's volume, not the effect's", {-1, 32}, 127, 203},
        {"the digital volume scales the whole", {127}, 64, 178},
        {"digital volume above the range", {127}, 500, 228},
    };
    EXPECT_EQ(MixOne(), 128) << "silence before the start";
    for (const auto& row : rows) {
        Start();
        Sound_SetDigitalVolume(row.digital);
        SOUND_EFFECT e = Effect(100, 10, 64);
        for (int v : row.callvolumes)
            if (v < 0)
                Sound_Effect(&e, -1);
            else
                Sound_PlaySoundEffect(&e, -1, v, 0);
        EXPECT_EQ(MixOne(), row.first) << row.name;
        Stop();
    }
}

// The mixer runs on the audio thread: every change holds it off, once.
TEST_F(SoundMixer, EveryChangeHoldsTheCallbackOffAndLetsGo)
{
    static int depth, locks, deepest;
    static PLAT_BACKEND counting = g_PlatHeadless;
    counting.lockaudio = [](int lock) {
        depth += lock ? 1 : -1;
        locks += lock;
        deepest = std::max(deepest, depth);
    };
    depth = locks = deepest = 0;
    ASSERT_TRUE(Plat_InitWith(&counting));
    Start();
    SOUND_EFFECT e = Effect(10, 5);
    Sound_Effect(&e, 3);
    Sound_PlaySoundEffect(&e, 3, 10, 1);
    SOUND_RESERVEDVOICE* rv = Sound_GetReserved();
    for (int i = 0; i < 10; i++) Sound_QueueReserved(rv, &e); // overflows
    Sound_UpdateReserved(rv);
    Sound_ReleaseReserved(rv);
    Sound_PlayCD(1);
    Sound_StopCD();
    Stop();
    Plat_Close();
    EXPECT_GT(locks, 10);
    EXPECT_EQ(std::pair(depth, deepest), std::pair(0, 1));
}

class SoundVoices : public SoundTest {};

TEST_F(SoundVoices, SameOwnerEndsItsPreviousVoices)
{
    Start();
    SOUND_EFFECT a = Effect(10), b = Effect(20);
    Sound_Effect(&a, 7);
    Sound_Effect(&b, 7);
    EXPECT_EQ(MixOne(), 128 + 20);
    // PlaySoundEffect records its owner but ends nothing...
    Sound_Effect(&a, 8);
    Sound_PlaySoundEffect(&a, 8, 127, 5);
    EXPECT_EQ(Sound_VoicesPlaying(), 3);
    // ...and a later effect of that owner ends both; owner -1 ends nothing.
    Sound_Effect(&b, 8);
    Sound_Effect(&a, -1);
    Sound_Effect(&a, -1);
    EXPECT_EQ(Sound_VoicesPlaying(), 4);
}

TEST_F(SoundVoices, FullMixerGivesTheLowestPriorityVoiceToAHigherOne)
{
    Start();
    SOUND_EFFECT one = Effect(1), marker = Effect(10), newcomer = Effect(20);
    for (int i = 0; i < SOUND_VOICES - 1; i++) ASSERT_TRUE(Sound_PlaySoundEffect(&one, -1, 127, 5));
    ASSERT_TRUE(Sound_PlaySoundEffect(&marker, -1, 127, 1));
    EXPECT_TRUE(Sound_PlaySoundEffect(&newcomer, -1, 127, 3));
    EXPECT_EQ(MixOne(), 128 + 15 + 20);
    // Now the lowest holds 3: an equal priority is dropped, a higher one takes it.
    EXPECT_FALSE(Sound_PlaySoundEffect(&marker, -1, 127, 3));
    EXPECT_TRUE(Sound_PlaySoundEffect(&marker, -1, 127, 6));
    EXPECT_EQ(MixOne(), 128 + 15 + 10);
    // Among equals the oldest goes: the fifteen priority-5 voices before the marker.
    EXPECT_TRUE(Sound_Effect(&newcomer, -1));
    EXPECT_EQ(MixOne(), 128 + 14 + 10 + 20);
}

TEST_F(SoundVoices, EffectFilesAreSharedAndMissingOrBrokenOnesLeaveTheEffectCleared)
{
    Start();
    WriteConstant("sound/Beep.wav", 5, 10);
    data_.write("sound/broken.wav", "RIFF");
    SOUND_EFFECT a, b, c, d;
    Sound_InitEffect(&a, "beep", 80);
    Sound_InitEffect(&b, "BEEP.WAV", 300);
    EXPECT_TRUE(a.sample && a.sample == b.sample && b.volume == 127);
    Sound_InitEffect(&c, "absent", 80);
    Sound_InitEffect(&d, "broken", 80);
    EXPECT_TRUE(Sound_IsClearedEffect(&c) && Sound_IsClearedEffect(&d));
    EXPECT_FALSE(Sound_Effect(&c, -1));
    EXPECT_NE(Log().find("Unable to load sound effect"), std::string::npos);
    EXPECT_NE(Log().find("broken.wav] offset 0: 4 bytes, too short for a RIFF header"), std::string::npos);
}

TEST_F(SoundVoices, WithoutAnAudioDeviceEverythingIsAQuietNoOp)
{
    static PLAT_BACKEND deaf = g_PlatHeadless;
    deaf.openaudio = [] { return 0; };
    ASSERT_TRUE(Plat_InitWith(&deaf));
    WriteConstant("cd/track02.wav", 10, 10);
    Start();
    SOUND_EFFECT e = Effect(10);
    EXPECT_FALSE(Sound_DigitalOn() || Sound_RedbookOn() || Sound_Effect(&e, 1) || Sound_GetReserved());
    EXPECT_FALSE(Sound_QueueReserved(nullptr, &e) || Sound_UpdateReserved(nullptr));
    Sound_PlayCD(2);
    EXPECT_EQ(std::pair(Sound_CdTrack(), MixOne()), std::pair(0, 128));
    Stop();
    Plat_Close();
}

class SoundReserved : public SoundTest {};

TEST_F(SoundReserved, PlaysWhenIdleAndQueuedEffectsStartInOrderUpToTheQueuesLength)
{
    Start();
    SOUND_EFFECT a = Effect(10, 20), b = Effect(20, 20), c = Effect(30, 20);
    SOUND_RESERVEDVOICE* rv = Sound_GetReserved();
    ASSERT_NE(rv, nullptr);
    EXPECT_TRUE(Sound_PlayReserved(rv, &a));
    EXPECT_FALSE(Sound_PlayReserved(rv, &b)) << "busy";
    Mix(20);
    EXPECT_FALSE(Sound_ReservedPlaying(rv));
    EXPECT_TRUE(Sound_QueueReserved(rv, &a)); // idle: starts at once
    EXPECT_TRUE(Sound_QueueReserved(rv, &b));
    EXPECT_TRUE(Sound_QueueReserved(rv, &c));
    EXPECT_FALSE(Sound_UpdateReserved(rv)); // a still plays
    EXPECT_EQ(Mix(20)[19], 128 + 10);
    // Something is queued, so the voice isn't idle for a direct play.
    EXPECT_FALSE(Sound_PlayReserved(rv, &a));
    EXPECT_EQ(MixOne(), 128); // nothing starts by itself
    EXPECT_TRUE(Sound_UpdateReserved(rv));
    EXPECT_EQ(Mix(20)[0], 128 + 20);
    EXPECT_TRUE(Sound_UpdateReserved(rv));
    EXPECT_EQ(MixOne(), 128 + 30);
    // c plays: a full queue drops the next and says so.
    for (int i = 0; i < SOUND_QUEUELENGTH; i++) ASSERT_TRUE(Sound_QueueReserved(rv, &a));
    EXPECT_FALSE(Sound_QueueReserved(rv, &a));
    EXPECT_NE(Log().find("Reserved voice queue full (8): sound dropped"), std::string::npos);
    Sound_ReleaseReserved(rv);
}

// Neither taken by effects of any priority nor ended by an owner; released, it
// stops and serves effects again, and reserving works again up to the limit.
TEST_F(SoundReserved, IsKeptFromEffectsUntilReleased)
{
    Start();
    SOUND_EFFECT one = Effect(1), msg = Effect(40);
    SOUND_RESERVEDVOICE* rv = Sound_GetReserved();
    Sound_QueueReserved(rv, &msg);
    Sound_QueueReserved(rv, &msg);
    for (int i = 0; i < SOUND_VOICES; i++) Sound_PlaySoundEffect(&one, -1, 127, 1 << 30);
    Sound_Effect(&one, -1);
    EXPECT_EQ(MixOne(), 128 + (SOUND_VOICES - 1) + 40);
    Sound_ReleaseReserved(rv);
    EXPECT_EQ(MixOne(), 128 + (SOUND_VOICES - 1));
    EXPECT_FALSE(Sound_UpdateReserved(rv)) << "a stale handle does nothing";
    EXPECT_TRUE(Sound_PlaySoundEffect(&one, -1, 127, 1 << 30));
    EXPECT_EQ(MixOne(), 128 + SOUND_VOICES);
    SOUND_RESERVEDVOICE* all[SOUND_MAXRESERVED];
    for (auto& r : all) ASSERT_NE(r = Sound_GetReserved(), nullptr);
    EXPECT_EQ(Sound_GetReserved(), nullptr);
    for (auto& r : all) Sound_ReleaseReserved(r);
}

class SoundCd : public SoundTest {};

// A track plays at the CD volume to its end, poll restarts it; a missing
// track stops the music quietly, a broken one says so.
TEST_F(SoundCd, TrackPlaysAtTheCdVolumeAndPollRestartsItWhenEnded)
{
    Start();
    EXPECT_FALSE(Sound_RedbookOn()) << "no track file";
    Stop();
    WriteConstant("cd/track02.wav", 50, 30);
    data_.write("cd/track04.wav", std::string("RIFF\x10\0\0\0WAVE", 12));
    Start();
    EXPECT_TRUE(Sound_RedbookOn());
    Sound_PlayCD(2);
    Sound_PollCD(); // still playing: no restart
    std::vector<uint8_t> out = Mix(31);
    EXPECT_TRUE(out[29] == 128 + 50 && out[30] == 128);
    EXPECT_TRUE(!Sound_CdPlaying() && Sound_CdTrack() == 2);
    Sound_PollCD();
    Sound_SetDigitalVolume(0); // leaves the music alone
    Sound_SetCdVolume(64);
    EXPECT_EQ(MixOne(), 128 + 50 * 64 / 127);
    Sound_PlayCD(3);
    Sound_PollCD();
    EXPECT_EQ(std::pair(Sound_CdTrack(), MixOne()), std::pair(0, 128));
    EXPECT_EQ(Log(), ""); // missing tracks are no error
    Sound_PlayCD(4);
    EXPECT_EQ(Sound_CdTrack(), 0);
    EXPECT_NE(Log().find("track04.wav] offset 4: RIFF size 16 runs past the end"), std::string::npos);
}
