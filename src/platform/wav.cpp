// WAV reading and writing.
//
// The reader walks the RIFF chunks checking every size against the bytes that
// remain before touching them, so any byte sequence is either converted or
// refused with the offset of the first thing wrong. Conversion is integer
// arithmetic throughout: the same file gives the same samples everywhere.
#include "platform/wav.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/bytes.h"
#include "core/debug.h"
#include "core/fspath.h"
#include "core/tlog.h"

static int Refuse(const char* name, size_t offset, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));

static int Refuse(const char* name, size_t offset, const char* fmt, ...)
{
    char what[160];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(what, sizeof what, fmt, ap);
    va_end(ap);
    TLOG(TLOG_ERROR, "Sound file [%s] offset %zu: %s", Fs_Resolve(name).c_str(), offset, what);
    return 0;
}



// A chunk id fit for a log line: hostile files put anything there.
static void ChunkName(const uint8_t* id, char out[5])
{
    for (int i = 0; i < 4; i++) out[i] = (id[i] >= 0x20 && id[i] < 0x7F) ? (char)id[i] : '?';
    out[4] = 0;
}

struct WAV_FORMAT {
    int channels;
    int rate;
    int bits;
    int align; // bytes per frame
};

// The sub-format of a WAVE_FORMAT_EXTENSIBLE header that means integer PCM.
static const uint8_t s_pcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                      0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

static int ReadFormat(const uint8_t* body, uint32_t size, size_t offset, const char* name,
                      WAV_FORMAT* f)
{
    if (size < 16) return Refuse(name, offset, "fmt chunk of %u bytes, at least 16 expected", size);
    uint32_t tag = Bytes_U16(body);
    if (tag == 0xFFFE) {
        // Extensible headers carry the real format in a sub-format GUID.
        if (size < 40 || Bytes_U16(body + 16) < 22)
            return Refuse(name, offset, "extensible fmt chunk of %u bytes, 40 expected", size);
        if (memcmp(body + 24, s_pcmGuid, sizeof s_pcmGuid) != 0)
            return Refuse(name, offset + 8 + 24, "extensible sub-format is not integer PCM");
    } else if (tag != 1) {
        return Refuse(name, offset + 8,
                      "format %u is not PCM (compressed and float sounds are not supported)", tag);
    }
    f->channels = (int)Bytes_U16(body + 2);
    uint32_t rate = Bytes_U32(body + 4);
    f->align = (int)Bytes_U16(body + 12);
    f->bits = (int)Bytes_U16(body + 14);
    if (f->channels < 1 || f->channels > WAV_MAXCHANNELS)
        return Refuse(name, offset + 10, "%d channels, 1 to %d supported", f->channels,
                      WAV_MAXCHANNELS);
    if (rate < WAV_MINRATE || rate > WAV_MAXRATE)
        return Refuse(name, offset + 12, "sample rate %u Hz, %d to %d supported", rate,
                      WAV_MINRATE, WAV_MAXRATE);
    f->rate = (int)rate;
    if (f->bits != 8 && f->bits != 16)
        return Refuse(name, offset + 22, "%d bits per sample, 8 or 16 supported", f->bits);
    int expected = f->channels * f->bits / 8;
    if (f->align != expected)
        return Refuse(name, offset + 20, "block align %d, %d expected for %d channels of %d bits",
                      f->align, expected, f->channels, f->bits);
    return 1;
}

// One frame as a signed 16-bit mono value: the channels' mean.
static int FrameValue(const uint8_t* p, const WAV_FORMAT& f)
{
    int sum = 0;
    for (int c = 0; c < f.channels; c++) {
        if (f.bits == 8) sum += ((int)p[c] - 128) * 256;
        else sum += (int)(int16_t)Bytes_U16(p + 2 * c);
    }
    return sum / f.channels;
}

// Linear interpolation onto the 11025 Hz grid: output i sits at input frame
// i * rate / 11025, kept as an exact fraction so no error accumulates.
static void Convert(const uint8_t* data, uint32_t frames, const WAV_FORMAT& f, uint8_t* out,
                    uint64_t outcount)
{
    for (uint64_t i = 0; i < outcount; i++) {
        uint64_t pos = i * (uint64_t)f.rate;
        uint64_t idx = pos / WAV_RATE;
        int64_t frac = (int64_t)(pos % WAV_RATE);
        int a = FrameValue(data + idx * f.align, f);
        int b = idx + 1 < frames ? FrameValue(data + (idx + 1) * f.align, f) : a;
        int v = a + (int)((int64_t)(b - a) * frac / WAV_RATE);
        out[i] = (uint8_t)((v + 32768) >> 8);
    }
}

int Wav_LoadMemory(const uint8_t* data, size_t len, const char* name, uint8_t** samples,
                   int* count)
{
    *samples = nullptr;
    *count = 0;
    if (!data) len = 0;
    if (len > WAV_MAXBYTES)
        return Refuse(name, 0, "%zu bytes, more than the %d that a sound may have", len,
                      WAV_MAXBYTES);
    if (len < 12) return Refuse(name, 0, "%zu bytes, too short for a RIFF header", len);
    if (memcmp(data, "RIFF", 4) != 0) return Refuse(name, 0, "not a RIFF file");
    if (memcmp(data + 8, "WAVE", 4) != 0) return Refuse(name, 8, "RIFF form is not WAVE");
    uint32_t riffsize = Bytes_U32(data + 4);
    if ((uint64_t)riffsize + 8 > len)
        return Refuse(name, 4, "RIFF size %u runs past the end of the file (%zu bytes)", riffsize,
                      len);
    if (riffsize < 4) return Refuse(name, 4, "RIFF size %u, at least 4 expected", riffsize);
    const size_t end = (size_t)riffsize + 8;

    WAV_FORMAT fmt = {};
    int havefmt = 0;
    size_t dataoff = 0; // offset of the data chunk's header; 0 while none seen
    uint32_t datasize = 0;
    size_t off = 12;
    while (off < end) {
        if (end - off < 8)
            return Refuse(name, off, "chunk header cut short (%zu bytes left)", end - off);
        char id[5];
        ChunkName(data + off, id);
        uint32_t size = Bytes_U32(data + off + 4);
        size_t body = off + 8;
        if (size > end - body)
            return Refuse(name, off, "chunk [%s] of %u bytes runs past the end (%zu bytes left)",
                          id, size, end - body);
        if (memcmp(data + off, "fmt ", 4) == 0) {
            if (havefmt) return Refuse(name, off, "second fmt chunk");
            if (!ReadFormat(data + body, size, off, name, &fmt)) return 0;
            havefmt = 1;
        } else if (memcmp(data + off, "data", 4) == 0) {
            if (dataoff) return Refuse(name, off, "second data chunk");
            dataoff = off;
            datasize = size;
        }
        // Odd chunks are padded to an even size; a last chunk whose pad byte
        // is missing is common enough to accept.
        if ((size & 1) && body + size == end) break;
        off = body + size + (size & 1);
    }
    if (!havefmt) return Refuse(name, end, "no fmt chunk");
    if (!dataoff) return Refuse(name, end, "no data chunk");
    if (datasize % (uint32_t)fmt.align != 0)
        return Refuse(name, dataoff,
                      "data chunk of %u bytes is not a whole number of %d-byte frames", datasize,
                      fmt.align);

    uint32_t frames = datasize / (uint32_t)fmt.align;
    uint64_t outcount = (uint64_t)frames * WAV_RATE / (uint64_t)fmt.rate;
    if (frames > 0 && outcount == 0) outcount = 1;
    if (outcount > WAV_MAXBYTES)
        return Refuse(name, dataoff,
                      "%llu samples at %d Hz, more than the %d that a sound may have",
                      (unsigned long long)outcount, WAV_RATE, WAV_MAXBYTES);
    uint8_t* out = (uint8_t*)Debug_Malloc(outcount ? (size_t)outcount : 1);
    Convert(data + dataoff + 8, frames, fmt, out, outcount);
    *samples = out;
    *count = (int)outcount;
    return 1;
}

int Wav_Load(const char* path, uint8_t** samples, int* count)
{
    *samples = nullptr;
    *count = 0;
    FILE* f = Fs_Open(path, "rb");
    if (!f) {
        TLOG(TLOG_ERROR, "Sound file [%s]: cannot open", Fs_Resolve(path).c_str());
        return 0;
    }
    // The size first, so that a huge file is refused before it is read.
    long size = -1;
    if (fseek(f, 0, SEEK_END) == 0) size = ftell(f);
    if (size < 0 || fseek(f, 0, SEEK_SET) != 0) {
        fclose(f);
        return Refuse(path, 0, "cannot read");
    }
    if (size > WAV_MAXBYTES) {
        fclose(f);
        return Refuse(path, 0, "%ld bytes, more than the %d that a sound may have", size,
                      WAV_MAXBYTES);
    }
    std::vector<uint8_t> bytes((size_t)size);
    size_t got = size ? fread(bytes.data(), 1, bytes.size(), f) : 0;
    fclose(f);
    if (got != bytes.size()) return Refuse(path, got, "read failed");
    return Wav_LoadMemory(bytes.data(), bytes.size(), path, samples, count);
}

int Wav_Write(const char* path, const uint8_t* samples, int count)
{
    if (count < 0 || count > WAV_MAXBYTES || (!samples && count)) {
        TLOG(TLOG_ERROR, "Sound file [%s]: cannot write %d samples", Fs_Resolve(path).c_str(), count);
        return 0;
    }
    uint32_t n = (uint32_t)count;
    std::vector<uint8_t> out;
    out.reserve(44 + n + 1);
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    Bytes_AppendU32(&out, 4 + (8 + 16) + 8 + n + (n & 1));
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Bytes_AppendU32(&out, 16);
    Bytes_AppendU16(&out, 1);        // PCM
    Bytes_AppendU16(&out, 1);        // mono
    Bytes_AppendU32(&out, WAV_RATE); // samples per second
    Bytes_AppendU32(&out, WAV_RATE); // bytes per second
    Bytes_AppendU16(&out, 1);        // block align
    Bytes_AppendU16(&out, 8);        // bits per sample
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    Bytes_AppendU32(&out, n);
    if (n) out.insert(out.end(), samples, samples + n);
    if (n & 1) out.push_back(0);
    if (!Fs_WriteAtomic(path, out.data(), out.size())) {
        TLOG(TLOG_ERROR, "Unable to write to file [%s]", Fs_Resolve(path).c_str());
        return 0;
    }
    return 1;
}
