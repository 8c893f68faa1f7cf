// Sounds of the demo world and seeds of the WAV reader's fuzz target.
//
// Everything is synthesised with integer arithmetic (a parabolic sine, a
// linear congruential noise), so the files are the same byte for byte on
// every machine.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "mkdata.h"
#include "platform/wav.h"

namespace {

const int RATE = WAV_RATE;

// One cycle per 2^32 of phase; returns -amplitude..amplitude.
int Sine(uint32_t phase, int amplitude)
{
    int p = (int)(phase >> 16);
    int h = p & 0x7FFF;
    int s = (int)((int64_t)4 * h * (32768 - h) / 32768); // 0..32768
    if (p & 0x8000) s = -s;
    return (int)((int64_t)s * amplitude / 32768);
}

uint32_t Step(int hz) { return (uint32_t)(((uint64_t)hz << 32) / RATE); }

struct NOISE {
    uint32_t state;
    // -16384..16383
    int Next()
    {
        state = state * 1103515245u + 12345u;
        return (int)((state >> 16) & 0x7FFF) - 16384;
    }
};

uint8_t ToU8(int v)
{
    v += 128;
    return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
}

// A level that falls from 127 to 0 as the square of the time left.
int Decay(int i, int n) { return (int)((int64_t)127 * (n - i) * (n - i) / ((int64_t)n * n)); }

std::vector<uint8_t> Click(void)
{
    const int n = RATE * 30 / 1000;
    NOISE noise = {1};
    std::vector<uint8_t> out;
    for (int i = 0; i < n; i++) out.push_back(ToU8(noise.Next() * Decay(i, n) / 16384));
    return out;
}

std::vector<uint8_t> Beep(void)
{
    const int n = RATE * 150 / 1000, attack = 110, release = 330;
    std::vector<uint8_t> out;
    uint32_t phase = 0;
    for (int i = 0; i < n; i++, phase += Step(880)) {
        int env = i < attack ? 127 * i / attack : i > n - release ? 127 * (n - i) / release : 127;
        out.push_back(ToU8(Sine(phase, 90) * env / 127));
    }
    return out;
}

// Low-passed noise over a sine falling from 110 Hz to 40 Hz.
std::vector<uint8_t> Boom(void)
{
    const int n = RATE * 700 / 1000;
    NOISE noise = {7};
    std::vector<uint8_t> out;
    uint32_t phase = 0;
    int smooth = 0;
    for (int i = 0; i < n; i++) {
        smooth += (noise.Next() - smooth) / 8;
        phase += Step(110 - 70 * i / n);
        int v = smooth * 110 / 16384 + Sine(phase, 60);
        out.push_back(ToU8(v * Decay(i, n) / 127));
    }
    return out;
}

// Four bars of a tune over a square-wave bass: four seconds that loop cleanly.
std::vector<uint8_t> Tune(void)
{
    static const int melody[16] = {523, 659, 784, 659, 698, 880, 1047, 880,
                                   784, 988, 1175, 988, 1047, 784, 659, 523};
    static const int bass[4] = {131, 175, 196, 131};
    const int note = RATE / 4;
    std::vector<uint8_t> out;
    uint32_t lead = 0, low = 0;
    for (int k = 0; k < 16; k++) {
        for (int j = 0; j < note; j++) {
            lead += Step(melody[k]);
            low += Step(bass[k / 4]);
            int env = j < 60 ? 127 * j / 60 : 127 - 80 * j / note;
            int v = Sine(lead, 55) * env / 127 + ((low >> 31) ? 18 : -18);
            out.push_back(ToU8(v));
        }
    }
    return out;
}

int WriteSound(const std::string& path, const std::vector<uint8_t>& samples)
{
    if (Wav_Write(path.c_str(), samples.data(), (int)samples.size())) return 1;
    fprintf(stderr, "mkdata: cannot write [%s]\n", path.c_str());
    return 0;
}

int Demo(const std::string& rundir)
{
    std::string sound = rundir + "/data/sound", cd = rundir + "/data/cd";
    return Mkdata_MakeDirs(sound) && Mkdata_MakeDirs(cd) &&
           WriteSound(sound + "/click.wav", Click()) && WriteSound(sound + "/beep.wav", Beep()) &&
           WriteSound(sound + "/boom.wav", Boom()) && WriteSound(cd + "/track02.wav", Tune());
}

// --- seeds: layouts that the engine's writer doesn't produce ---

void Put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back((uint8_t)v);
    out.push_back((uint8_t)(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
void PutChunk(std::vector<uint8_t>& out, const char* id, const std::vector<uint8_t>& body)
{
    out.insert(out.end(), id, id + 4);
    Put32(out, (uint32_t)body.size());
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() & 1) out.push_back(0);
}

// A PCM WAV file of any layout; extensible selects the WAVE_FORMAT_EXTENSIBLE
// header, and an odd-sized LIST chunk goes before the data when asked.
std::vector<uint8_t> RiffWav(int channels, int rate, int bits, const std::vector<uint8_t>& data,
                             bool extensible, bool list)
{
    int align = channels * bits / 8;
    std::vector<uint8_t> fmt;
    Put16(fmt, extensible ? 0xFFFE : 1);
    Put16(fmt, (uint32_t)channels);
    Put32(fmt, (uint32_t)rate);
    Put32(fmt, (uint32_t)(rate * align));
    Put16(fmt, (uint32_t)align);
    Put16(fmt, (uint32_t)bits);
    if (extensible) {
        static const uint8_t pcm[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                        0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        Put16(fmt, 22);
        Put16(fmt, (uint32_t)bits);
        Put32(fmt, channels == 1 ? 4 : 3); // speaker mask
        fmt.insert(fmt.end(), pcm, pcm + 16);
    }
    std::vector<uint8_t> chunks;
    PutChunk(chunks, "fmt ", fmt);
    if (list) PutChunk(chunks, "LIST", {'I', 'N', 'F', 'O', 'x'});
    PutChunk(chunks, "data", data);
    std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
    Put32(out, 4 + (uint32_t)chunks.size());
    out.insert(out.end(), {'W', 'A', 'V', 'E'});
    out.insert(out.end(), chunks.begin(), chunks.end());
    return out;
}

int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_wav") return 1;
    // 16-bit stereo at 22050 Hz: a sine on the left, a ramp on the right.
    std::vector<uint8_t> stereo;
    uint32_t phase = 0;
    for (int i = 0; i < 200; i++, phase += (uint32_t)(((uint64_t)440 << 32) / 22050)) {
        Put16(stereo, (uint32_t)(Sine(phase, 20000) & 0xFFFF));
        Put16(stereo, (uint32_t)((i * 300 - 30000) & 0xFFFF));
    }
    std::vector<uint8_t> mono;
    for (int i = 0; i < 120; i++) {
        Put16(mono, (uint32_t)(Sine(phase, 12000) & 0xFFFF));
        phase += (uint32_t)(((uint64_t)300 << 32) / 8000);
    }
    std::vector<uint8_t> beep = Beep();
    beep.resize(101); // odd: the data chunk gets a pad byte
    std::vector<uint8_t> a = RiffWav(2, 22050, 16, stereo, false, false);
    std::vector<uint8_t> b = RiffWav(1, 8000, 16, mono, true, true);
    return Mkdata_WriteFile(dir + "/stereo16_22050.wav", a.data(), a.size()) &&
           Mkdata_WriteFile(dir + "/mono16_ext_8000.wav", b.data(), b.size()) &&
           WriteSound(dir + "/mono8_11025.wav", beep);
}

} // namespace

MKDATA_REGISTER(sound, "sound", Demo, Seeds);
