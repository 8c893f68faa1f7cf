// WAV conversion and refusal, the mixer, voices, reserved voices and CD music.
#include <gtest/gtest.h>

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

// --- building WAV files byte by byte ---

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

struct LOADED {
    int ok;
    std::vector<uint8_t> samples;
};

LOADED Load(const std::string& bytes, const char* name = "test.wav")
{
    uint8_t* s = (uint8_t*)1;
    int n = -1;
    LOADED r;
    r.ok = Wav_LoadMemory((const uint8_t*)bytes.data(), bytes.size(), name, &s, &n);
    if (r.ok) {
        r.samples.assign(s, s + n);
        Debug_Free(&s);
    } else {
        EXPECT_EQ(s, nullptr);
        EXPECT_EQ(n, 0);
    }
    return r;
}

// Logs into a private directory so that tests can read what was reported.
class LoggedTest : public testing::Test {
protected:
    std::string Log() const { return log_.text(); }
    QvTempDir dir_;
    QvLogCapture log_;
};

} // namespace

// --- conversion ---

TEST(WavConvert, SixteenBitStereoAt22050HalvesAndAveragesChannels)
{
    // A square wave whose channels sit 0x1000 either side of it: the mean is the square.
    std::vector<int> pcm;
    for (int i = 0; i < 1000; i++) {
        int square = (i / 50) % 2 ? 0x4000 : -0x4000;
        pcm.push_back(square + 0x1000);
        pcm.push_back(square - 0x1000);
    }
    LOADED r = Load(Wav(2, 22050, 16, Pcm16(pcm)));
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.samples.size(), 500u);
    for (int j = 0; j < 500; j++) ASSERT_EQ(r.samples[j], (2 * j / 50) % 2 ? 0xC0 : 0x40) << j;
}

TEST(WavConvert, UpsamplingInterpolatesBetweenFrames)
{
    // 7350 Hz is two thirds of the output rate: output i falls at input 2i/3,
    // and a ramp of 768 per frame gives exactly 2 per output sample.
    std::vector<int> ramp;
    for (int k = 0; k < 64; k++) ramp.push_back(k * 768 - 32768);
    LOADED r = Load(Wav(1, 7350, 16, Pcm16(ramp)));
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.samples.size(), 96u);
    for (int i = 0; i < 95; i++) ASSERT_EQ(r.samples[i], 2 * i) << i;
    EXPECT_EQ(r.samples[95], 189); // past the last frame it holds
}

TEST(WavConvert, LayoutsReadToTheirSamples)
{
    std::string ramp;
    for (int i = 0; i < 301; i++) ramp += (char)(i * 37 % 256);
    static const char guid[] = "\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71";
    std::string fmt8 = Chunk("fmt ", FmtBody(1, 1, 11025, 8));
    const struct {
        const char* name;
        std::string bytes;
        std::string samples;
    } rows[] = {
        {"8-bit mono at 11025 Hz passes through", Wav(1, 11025, 8, ramp), ramp},
        // 200, 100, 0: (72 - 28 - 128) / 3 = -28 -> 100.
        {"channels are averaged", Wav(3, 11025, 8, std::string("\xC8\x64\x00\xC8\x64\x00", 6)),
         "\x64\x64"},
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
    for (const auto& row : rows) {
        LOADED r = Load(row.bytes);
        ASSERT_TRUE(r.ok) << row.name;
        EXPECT_EQ(std::string(r.samples.begin(), r.samples.end()), row.samples) << row.name;
    }
}

TEST(WavConvert, WrittenFilesReadBackExactly)
{
    QvTempDir dir;
    std::vector<uint8_t> odd = {0, 1, 128, 254, 255};
    ASSERT_TRUE(Wav_Write(dir.file("odd.wav").c_str(), odd.data(), (int)odd.size()));
    uint8_t* s;
    int n;
    ASSERT_TRUE(Wav_Load(dir.file("odd.wav").c_str(), &s, &n));
    EXPECT_EQ(std::vector<uint8_t>(s, s + n), odd);
    Debug_Free(&s);
    EXPECT_EQ(dir.read("odd.wav").size(), 44u + 5 + 1); // header, samples, pad

    ASSERT_TRUE(Wav_Write(dir.file("empty.wav").c_str(), nullptr, 0));
    ASSERT_TRUE(Wav_Load(dir.file("empty.wav").c_str(), &s, &n));
    EXPECT_EQ(n, 0);
    EXPECT_NE(s, nullptr);
    Debug_Free(&s);
}

// --- refusal ---

class WavRefuses : public LoggedTest {};

// Each refused file fails and reports exactly its line.
TEST_F(WavRefuses, BrokenFilesNameTheOffsetAndTheFault)
{
    std::string good = Wav(2, 22050, 16, Pcm16({1, 2, 3, 4}));
    // Cut inside the data chunk, with the RIFF size made to match the cut.
    std::string cut = good.substr(0, good.size() - 4);
    cut.replace(4, 4, Le32((unsigned)cut.size() - 8));
    std::string fmt8 = Chunk("fmt ", FmtBody(1, 1, 11025, 8));
    std::string smallriff = Riff(fmt8);
    smallriff.replace(4, 4, Le32(2));
    std::string data = Chunk("data", "abcd");
    static const char floatGuid[] =
        "\x03\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71";
    const char* const notpcm =
        "is not PCM (compressed and float sounds are not supported)";
    const std::pair<std::string, std::string> rows[] = {
        // truncated
        {"", "offset 0: 0 bytes, too short for a RIFF header"},
        {good.substr(0, 11), "offset 0: 11 bytes, too short for a RIFF header"},
        {good.substr(0, good.size() - 1),
         "offset 4: RIFF size 44 runs past the end of the file (51 bytes)"},
        {cut, "offset 36: chunk [data] of 8 bytes runs past the end (4 bytes left)"},
        {Riff(fmt8 + "dat"), "offset 36: chunk header cut short (3 bytes left)"},
        // hostile sizes
        {Riff(fmt8 + "data" + Le32(0xFFFFFFFFu) + "xy"),
         "offset 36: chunk [data] of 4294967295 bytes runs past the end (2 bytes left)"},
        {Riff("\x01\x02\x03\x04" + Le32(0xFFFFFFF0u)),
         "offset 12: chunk [????] of 4294967280 bytes runs past the end (0 bytes left)"},
        {smallriff, "offset 4: RIFF size 2, at least 4 expected"},
        // wrong container
        {"RIFX" + Le32(4) + "WAVE", "offset 0: not a RIFF file"},
        {"RIFF" + Le32(4) + "AVI ", "offset 8: RIFF form is not WAVE"},
        {Riff(Chunk("data", "ab")), "offset 22: no fmt chunk"},
        {Riff(fmt8), "offset 36: no data chunk"},
        {Riff(fmt8 + fmt8 + Chunk("data", "ab")), "offset 36: second fmt chunk"},
        {Riff(fmt8 + Chunk("data", "ab") + Chunk("data", "ab")), "offset 46: second data chunk"},
        // unsupported or inconsistent formats
        {Riff(Chunk("fmt ", FmtBody(1, 1, 11025, 8).substr(0, 14)) + data),
         "offset 12: fmt chunk of 14 bytes, at least 16 expected"},
        {Riff(Chunk("fmt ", FmtBody(2, 1, 11025, 4)) + data),
         std::string("offset 20: format 2 ") + notpcm},
        {Riff(Chunk("fmt ", FmtBody(3, 1, 11025, 32)) + data),
         std::string("offset 20: format 3 ") + notpcm},
        {Riff(Chunk("fmt ", FmtBody(0xFFFE, 1, 11025, 32) + Le16(22) + Le16(32) + Le32(4) +
                                std::string(floatGuid, 16)) +
              data),
         "offset 44: extensible sub-format is not integer PCM"},
        {Riff(Chunk("fmt ", FmtBody(1, 1, 11025, 24)) + data),
         "offset 34: 24 bits per sample, 8 or 16 supported"},
        {Riff(Chunk("fmt ", FmtBody(1, 0, 11025, 8, 1)) + data),
         "offset 22: 0 channels, 1 to 16 supported"},
        {Riff(Chunk("fmt ", FmtBody(1, 1, 3999, 8)) + data),
         "offset 24: sample rate 3999 Hz, 4000 to 96000 supported"},
        {Riff(Chunk("fmt ", FmtBody(1, 1, 96001, 8)) + data),
         "offset 24: sample rate 96001 Hz, 4000 to 96000 supported"},
        {Riff(Chunk("fmt ", FmtBody(1, 2, 11025, 16, 2)) + data),
         "offset 32: block align 2, 4 expected for 2 channels of 16 bits"},
        {Riff(Chunk("fmt ", FmtBody(1, 2, 11025, 16)) + Chunk("data", "abcdef")),
         "offset 36: data chunk of 6 bytes is not a whole number of 4-byte frames"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.second);
        std::string before = Log();
        EXPECT_FALSE(Load(row.first, "bad.wav").ok);
        EXPECT_EQ(Log().substr(before.size()), "Sound file [bad.wav] " + row.second + "\n");
    }
}

TEST_F(WavRefuses, MissingFileIsNamed)
{
    uint8_t* s;
    int n;
    std::string path = dir_.file("absent.wav");
    EXPECT_FALSE(Wav_Load(path.c_str(), &s, &n));
    EXPECT_EQ(s, nullptr);
    EXPECT_NE(Log().find("Sound file [" + path + "]: cannot open"), std::string::npos);
}

// --- the mixer ---

namespace {

// A sound directory of constant-valued effects and a started sound system.
class SoundTest : public LoggedTest {
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        memcpy(oldDataDir_, g_DataDir, sizeof oldDataDir_);
        snprintf(g_DataDir, sizeof g_DataDir, "%s", data_.path().c_str());
        std::filesystem::create_directories(data_.file("sound"));
        std::filesystem::create_directories(data_.file("cd"));
    }
    void TearDown() override
    {
        if (started_) Sound_Close();
        memcpy(g_DataDir, oldDataDir_, sizeof oldDataDir_);
        LoggedTest::TearDown();
    }
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
        EXPECT_FALSE(Sound_IsClearedEffect(&e)) << name;
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

    QvTempDir data_;
    char oldDataDir_[GAME_PATH];
    bool started_ = false;
};

} // namespace

class SoundMixer : public SoundTest {};

TEST_F(SoundMixer, VoicesAddToSilenceAndEndWithTheirSamples)
{
    EXPECT_EQ(Mix(2), (std::vector<uint8_t>{128, 128})) << "before the start";
    Start();
    ASSERT_TRUE(Sound_DigitalOn());
    EXPECT_EQ(Mix(2), (std::vector<uint8_t>{128, 128}));
    SOUND_EFFECT a = Effect(40, 100), b = Effect(-30, 50);
    EXPECT_TRUE(Sound_Effect(&a, -1));
    EXPECT_TRUE(Sound_Effect(&b, -1));
    std::vector<uint8_t> out = Mix(120);
    EXPECT_EQ(out[0], 128 + 10);
    EXPECT_EQ(out[49], 128 + 10);
    EXPECT_EQ(out[50], 128 + 40);
    EXPECT_EQ(out[99], 128 + 40);
    EXPECT_EQ(out[100], 128);
    EXPECT_EQ(Sound_VoicesPlaying(), 0);
}

TEST_F(SoundMixer, VolumesScaleEachVoiceAndTheWholeAndTheSumIsClamped)
{
    struct VOICEPLAY {
        int offset, effectvolume, callvolume; // callvolume -1: Sound_Effect
    };
    const struct {
        const char* name;
        std::vector<VOICEPLAY> voices;
        int digital, first;
    } rows[] = {
        {"clamped high", {{100, 127, -1}, {100, 127, -1}}, 127, 255},
        {"clamped low", {{-100, 127, -1}, {-100, 127, -1}}, 127, 0},
        {"the effect's volume", {{100, 64, -1}}, 127, 178},
        {"the call's volume, not the effect's", {{100, 64, -1}, {100, 127, 32}}, 127, 203},
        {"the digital volume scales the whole", {{100, 127, -1}}, 64, 178},
        {"digital volume 0", {{100, 127, -1}}, 0, 128},
    };
    for (const auto& row : rows) {
        Start();
        Sound_SetDigitalVolume(row.digital);
        for (const VOICEPLAY& v : row.voices) {
            SOUND_EFFECT e = Effect(v.offset, 10, v.effectvolume);
            if (v.callvolume < 0)
                Sound_Effect(&e, -1);
            else
                Sound_PlaySoundEffect(&e, -1, v.callvolume, 0);
        }
        EXPECT_EQ(MixOne(), row.first) << row.name;
        Stop();
    }
    Start();
    Sound_SetDigitalVolume(500);
    EXPECT_EQ(Sound_GetDigitalVolume(), 127);
    Sound_SetDigitalVolume(-5);
    EXPECT_EQ(Sound_GetDigitalVolume(), 0);
}

TEST_F(SoundMixer, EveryChangeHoldsTheCallbackOffAndLetsGo)
{
    // A backend that counts how deep the audio lock is held.
    static int depth, locks, deepest;
    static PLAT_BACKEND counting = g_PlatHeadless;
    counting.lockaudio = [](int lock) {
        depth += lock ? 1 : -1;
        if (lock) locks++;
        if (depth > deepest) deepest = depth;
    };
    depth = locks = deepest = 0;
    ASSERT_TRUE(Plat_InitWith(&counting));
    Start();
    SOUND_EFFECT e = Effect(10, 5);
    SOUND_EFFECT cleared = {};
    Sound_Effect(&e, 3);
    Sound_Effect(&cleared, 3);
    Sound_PlaySoundEffect(&e, 3, 10, 1);
    SOUND_RESERVEDVOICE* rv = Sound_GetReserved();
    Sound_PlayReserved(rv, &e);
    for (int i = 0; i < 10; i++) Sound_QueueReserved(rv, &e); // overflows
    Sound_UpdateReserved(rv);
    Sound_ReleaseReserved(rv);
    Sound_SetDigitalVolume(3);
    Sound_PlayCD(1);
    Sound_PollCD();
    Sound_StopCD();
    Stop();
    Plat_Close();
    EXPECT_GT(locks, 10);
    EXPECT_EQ(depth, 0);
    EXPECT_EQ(deepest, 1);
}

// --- voices ---

class SoundVoices : public SoundTest {};

TEST_F(SoundVoices, SameOwnerEndsItsPreviousVoices)
{
    Start();
    SOUND_EFFECT a = Effect(10), b = Effect(20);
    Sound_Effect(&a, 7);
    Sound_Effect(&b, 7);
    EXPECT_EQ(Sound_VoicesPlaying(), 1);
    EXPECT_EQ(MixOne(), 128 + 20);
    Sound_Effect(&a, 8);
    EXPECT_EQ(Sound_VoicesPlaying(), 2);
    // PlaySoundEffect records its owner but ends nothing...
    Sound_PlaySoundEffect(&a, 8, 127, 5);
    EXPECT_EQ(Sound_VoicesPlaying(), 3);
    // ...and a later effect of that owner ends both.
    Sound_Effect(&b, 8);
    EXPECT_EQ(Sound_VoicesPlaying(), 2);
    // Owner -1 ends nothing.
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
    EXPECT_EQ(MixOne(), 128 + 15 + 10);
    EXPECT_TRUE(Sound_PlaySoundEffect(&newcomer, -1, 127, 3));
    EXPECT_EQ(MixOne(), 128 + 15 + 20);
    // Now the lowest holds 3: an equal priority is dropped, a higher one takes it.
    EXPECT_FALSE(Sound_PlaySoundEffect(&marker, -1, 127, 3));
    EXPECT_EQ(MixOne(), 128 + 15 + 20);
    EXPECT_TRUE(Sound_PlaySoundEffect(&marker, -1, 127, 6));
    EXPECT_EQ(MixOne(), 128 + 15 + 10);
    // Among equals the oldest goes: the fifteen priority-5 voices before the marker.
    EXPECT_TRUE(Sound_Effect(&newcomer, -1));
    EXPECT_EQ(MixOne(), 128 + 14 + 10 + 20);
    EXPECT_EQ(Sound_VoicesPlaying(), SOUND_VOICES);
}

TEST_F(SoundVoices, EffectFilesAreSharedAndMissingOnesLeaveTheEffectCleared)
{
    Start();
    WriteConstant("sound/Beep.wav", 5, 10);
    SOUND_EFFECT a, b, c;
    Sound_InitEffect(&a, "beep", 80);
    Sound_InitEffect(&b, "BEEP.WAV", 300);
    EXPECT_FALSE(Sound_IsClearedEffect(&a));
    EXPECT_EQ(a.sample, b.sample);
    EXPECT_EQ(a.volume, 80);
    EXPECT_EQ(b.volume, 127);

    Sound_InitEffect(&c, "absent", 80);
    EXPECT_TRUE(Sound_IsClearedEffect(&c));
    EXPECT_NE(Log().find("Unable to load sound effect"), std::string::npos);
    EXPECT_FALSE(Sound_Effect(&c, -1));
    EXPECT_TRUE(Sound_IsClearedEffect(nullptr));

    data_.write("sound/broken.wav", "RIFF");
    Sound_InitEffect(&c, "broken", 80);
    EXPECT_TRUE(Sound_IsClearedEffect(&c));
    EXPECT_NE(Log().find("broken.wav] offset 0: 4 bytes, too short for a RIFF header"),
              std::string::npos);
}

TEST_F(SoundVoices, WithoutAnAudioDeviceEverythingIsAQuietNoOp)
{
    static PLAT_BACKEND deaf = g_PlatHeadless;
    deaf.openaudio = [] { return 0; };
    ASSERT_TRUE(Plat_InitWith(&deaf));
    WriteConstant("cd/track02.wav", 10, 10);
    Start();
    EXPECT_FALSE(Sound_DigitalOn());
    EXPECT_FALSE(Sound_RedbookOn());
    SOUND_EFFECT e = Effect(10);
    EXPECT_FALSE(Sound_Effect(&e, 1));
    EXPECT_FALSE(Sound_PlaySoundEffect(&e, 1, 127, 99));
    SOUND_RESERVEDVOICE* rv = Sound_GetReserved();
    EXPECT_EQ(rv, nullptr);
    EXPECT_FALSE(Sound_PlayReserved(rv, &e));
    EXPECT_FALSE(Sound_QueueReserved(rv, &e));
    EXPECT_FALSE(Sound_UpdateReserved(rv));
    Sound_ReleaseReserved(rv);
    Sound_PlayCD(2);
    EXPECT_EQ(Sound_CdTrack(), 0);
    EXPECT_EQ(MixOne(), 128);
    Stop();
    Plat_Close();
}

// --- reserved voices ---

class SoundReserved : public SoundTest {};

TEST_F(SoundReserved, PlaysOnlyWhenIdle)
{
    Start();
    SOUND_EFFECT a = Effect(10, 20), b = Effect(20, 20);
    SOUND_RESERVEDVOICE* rv = Sound_GetReserved();
    ASSERT_NE(rv, nullptr);
    EXPECT_TRUE(Sound_PlayReserved(rv, &a));
    EXPECT_FALSE(Sound_PlayReserved(rv, &b));
    EXPECT_EQ(MixOne(), 128 + 10);
    Mix(19);
    EXPECT_FALSE(Sound_ReservedPlaying(rv));
    EXPECT_TRUE(Sound_PlayReserved(rv, &b));
    EXPECT_EQ(MixOne(), 128 + 20);
    Sound_ReleaseReserved(rv);
}

TEST_F(SoundReserved, QueuedEffectsStartInOrderWhenTheVoiceIsIdle)
{
    Start();
    SOUND_EFFECT a = Effect(10, 20), b = Effect(20, 20), c = Effect(30, 20);
    SOUND_RESERVEDVOICE* rv = Sound_GetReserved();
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
    Mix(19);
    EXPECT_FALSE(Sound_UpdateReserved(rv)); // queue empty
    Sound_ReleaseReserved(rv);
}

TEST_F(SoundReserved, FullQueueDropsAndSaysSo)
{
    Start();
    SOUND_EFFECT a = Effect(10, 20);
    SOUND_RESERVEDVOICE* rv = Sound_GetReserved();
    ASSERT_TRUE(Sound_QueueReserved(rv, &a));
    for (int i = 0; i < SOUND_QUEUELENGTH; i++) ASSERT_TRUE(Sound_QueueReserved(rv, &a));
    EXPECT_FALSE(Sound_QueueReserved(rv, &a));
    EXPECT_NE(Log().find("Reserved voice queue full (8): sound dropped"), std::string::npos);
    SOUND_EFFECT cleared = {};
    EXPECT_FALSE(Sound_QueueReserved(rv, &cleared));
    Sound_ReleaseReserved(rv);
}

TEST_F(SoundReserved, IsNeitherTakenByEffectsNorEndedByOwners)
{
    Start();
    SOUND_EFFECT one = Effect(1), msg = Effect(40);
    SOUND_RESERVEDVOICE* rv = Sound_GetReserved();
    Sound_PlayReserved(rv, &msg);
    for (int i = 0; i < SOUND_VOICES; i++) Sound_PlaySoundEffect(&one, -1, 127, 5);
    Sound_PlaySoundEffect(&one, -1, 127, 1 << 30);
    Sound_Effect(&one, -1);
    EXPECT_EQ(MixOne(), 128 + (SOUND_VOICES - 1) + 40);
    EXPECT_TRUE(Sound_ReservedPlaying(rv));
    Sound_ReleaseReserved(rv);
}

TEST_F(SoundReserved, ReleaseStopsTheVoiceAndGivesItBack)
{
    Start();
    SOUND_EFFECT one = Effect(1), msg = Effect(40);
    SOUND_RESERVEDVOICE* rv = Sound_GetReserved();
    Sound_QueueReserved(rv, &msg);
    Sound_QueueReserved(rv, &msg);
    Sound_ReleaseReserved(rv);
    EXPECT_EQ(MixOne(), 128);
    // A stale handle does nothing.
    EXPECT_FALSE(Sound_UpdateReserved(rv));
    EXPECT_FALSE(Sound_PlayReserved(rv, &msg));
    // All voices serve effects again.
    for (int i = 0; i < SOUND_VOICES; i++) EXPECT_TRUE(Sound_PlaySoundEffect(&one, -1, 127, 5));
    EXPECT_EQ(MixOne(), 128 + SOUND_VOICES);
    // And reserving works again up to the limit.
    SOUND_RESERVEDVOICE* all[SOUND_MAXRESERVED];
    for (auto& r : all) ASSERT_NE(r = Sound_GetReserved(), nullptr);
    EXPECT_EQ(Sound_GetReserved(), nullptr);
    for (auto& r : all) Sound_ReleaseReserved(r);
}

// --- CD music ---

class SoundCd : public SoundTest {};

TEST_F(SoundCd, RedbookIsOnWhenATrackFileExists)
{
    Start();
    EXPECT_FALSE(Sound_RedbookOn());
    Stop();
    WriteConstant("cd/track99.wav", 1, 1);
    Start();
    EXPECT_TRUE(Sound_RedbookOn());
}

TEST_F(SoundCd, TrackPlaysAtTheCdVolumeAndPollRestartsItWhenEnded)
{
    WriteConstant("cd/track02.wav", 50, 30);
    Start();
    Sound_PlayCD(2);
    EXPECT_EQ(Sound_CdTrack(), 2);
    EXPECT_TRUE(Sound_CdPlaying());
    Sound_PollCD(); // still playing: no restart
    std::vector<uint8_t> out = Mix(31);
    EXPECT_EQ(out[29], 128 + 50);
    EXPECT_EQ(out[30], 128);
    EXPECT_FALSE(Sound_CdPlaying());
    EXPECT_EQ(Sound_CdTrack(), 2);
    Sound_PollCD();
    EXPECT_TRUE(Sound_CdPlaying());
    // The digital volume leaves the music alone.
    Sound_SetDigitalVolume(0);
    Sound_SetCdVolume(64);
    EXPECT_EQ(Sound_GetCdVolume(), 64);
    EXPECT_EQ(MixOne(), 128 + 50 * 64 / 127);
    Sound_StopCD();
    EXPECT_EQ(Sound_CdTrack(), 0);
    EXPECT_EQ(MixOne(), 128);
    Sound_PollCD();
    EXPECT_FALSE(Sound_CdPlaying());
}

TEST_F(SoundCd, MissingTracksStopQuietlyAndBrokenOnesSaySo)
{
    WriteConstant("cd/track02.wav", 50, 30);
    data_.write("cd/track04.wav", std::string("RIFF\x10\0\0\0WAVE", 12));
    Start();
    Sound_PlayCD(2);
    Sound_PlayCD(3);
    EXPECT_EQ(Sound_CdTrack(), 0);
    EXPECT_EQ(MixOne(), 128);
    for (int t : {0, -1, 100}) {
        Sound_PlayCD(t);
        EXPECT_EQ(Sound_CdTrack(), 0);
    }
    EXPECT_EQ(Log(), ""); // missing tracks are no error
    Sound_PlayCD(4);
    EXPECT_EQ(Sound_CdTrack(), 0);
    EXPECT_NE(Log().find("track04.wav] offset 4: RIFF size 16 runs past the end"),
              std::string::npos);
}
