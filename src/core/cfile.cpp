#include "core/cfile.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/bytes.h"
#include "core/debug.h"
#include "core/fspath.h"
#include "core/tlog.h"

namespace {

std::string TempName(const CFILE* w) { return std::string(w->name) + ".tmp" + std::to_string((long)getpid()); }

int Fail(CFILE* w)
{
    w->failed = 1;
    return 0;
}

// A failed system call: the first one names the step and errno's text, which
// later failures (often its consequences) don't overwrite.
void NoteSys(CFILE* w, const char* step)
{
    const int err = errno;
    if (!w->why[0]) snprintf(w->why, sizeof w->why, "%s: %s", step, strerror(err));
}

int FailSys(CFILE* w, const char* step)
{
    NoteSys(w, step);
    return Fail(w);
}

int CanWriteBinary(const CFILE* w) { return w->file && w->writing && !w->text; }

int PutBytes(CFILE* w, const void* addr, size_t len)
{
    if (!CanWriteBinary(w)) return Fail(w);
    if (fwrite(addr, 1, len, w->file) != len) return FailSys(w, "write");
    w->cursor += len;
    return 1;
}

int PutU32(CFILE* w, uint32_t v)
{
    uint8_t b[4];
    Bytes_PutU32(b, v);
    return PutBytes(w, b, sizeof b);
}

void ReportShort(CFILE* w, size_t missing)
{
    w->failed = 1;
    TLOG(TLOG_WARNING, "File %s: ends at offset %zu, %zu more bytes expected", w->name, w->cursor,
         missing);
}

// Reads up to len bytes; what can't be read is zeroed. 1 when all were read.
int GetBytes(CFILE* w, void* addr, size_t len)
{
    if (!w->file || w->writing) {
        memset(addr, 0, len);
        return Fail(w);
    }
    size_t got = fread(addr, 1, len, w->file);
    w->cursor += got;
    if (got == len) return 1;
    memset(static_cast<unsigned char*>(addr) + got, 0, len - got);
    ReportShort(w, len - got);
    return 0;
}

// Reads and drops n bytes: a seek could run past the end without noticing.
int SkipBytes(CFILE* w, uint64_t n)
{
    unsigned char scratch[4096];
    while (n > 0) {
        size_t step = n < sizeof scratch ? (size_t)n : sizeof scratch;
        if (!GetBytes(w, scratch, step)) return 0;
        n -= step;
    }
    return 1;
}

int Open(CFILE* w, const char* path, const char* mode, int writing, int text)
{
    ASSERT(w);
    if (w->file || !path || !*path) return 0;
    w->why[0] = 0;
    std::string target = writing ? Fs_WriteTarget(path) : Fs_Resolve(path);
    // A cut name would open another file.
    if (target.empty() || target.size() >= sizeof w->name) {
        snprintf(w->why, sizeof w->why, "open: %s", target.empty() ? "symbolic links without end" : "path too long");
        return 0;
    }
    memcpy(w->name, target.c_str(), target.size() + 1);
    FILE* f = nullptr;
    std::string inTheWay;
    if (!writing) {
        f = Fs_Open(w->name, mode);
    } else if (int fd = Fs_OpenTemp(TempName(w), w->name, &inTheWay); fd >= 0) {
        f = fdopen(fd, mode);
        if (!f) close(fd), unlink(TempName(w).c_str());
    }
    // errno's text for a FIFO at either name ("Invalid argument", "File
    // exists") doesn't say what is in the way.
    if (!f && !inTheWay.empty()) snprintf(w->why, sizeof w->why, "open: %s", inTheWay.c_str());
    if (!f) NoteSys(w, "open");
    if (f && writing && !Fs_KeepMode(fileno(f), w->name)) {
        NoteSys(w, "chmod");
        fclose(f);
        unlink(TempName(w).c_str());
        f = nullptr;
    }
    if (!f) {
        w->name[0] = 0;
        return 0;
    }
    setvbuf(f, reinterpret_cast<char*>(w->buffer), _IOFBF, w->capacity);
    w->file = f;
    w->cursor = 0;
    w->text = text;
    w->writing = writing;
    w->failed = 0;
    return 1;
}

} // namespace

CFILE* Cfile_BufferCreate(void)
{
    CFILE* w = static_cast<CFILE*>(Debug_Calloc(1, sizeof(CFILE)));
    w->buffer = static_cast<unsigned char*>(Debug_Malloc(CFILE_BUFFER));
    w->capacity = CFILE_BUFFER;
    return w;
}

void Cfile_BufferFree(CFILE* w)
{
    if (!w) return;
    if (w->file) Cfile_Close(w); // before the buffer it uses goes
    Debug_Free(&w->buffer);
    Debug_Free(&w);
}

int Cfile_OpenWrite(CFILE* w, const char* path, int text)
{
    return Open(w, path, text ? "w" : "wb", 1, text ? 1 : 0);
}

int Cfile_OpenRead(CFILE* w, const char* path) { return Open(w, path, "rb", 0, 0); }

int Cfile_Close(CFILE* w)
{
    ASSERT(w);
    if (!w->file) return 0;
    FILE* f = w->file;
    w->file = nullptr;
    if (!w->writing) {
        fclose(f);
        return 1;
    }
    int ok = !w->failed;
    if (fflush(f) != 0) ok = FailSys(w, "write");
    if (fsync(fileno(f)) != 0) ok = FailSys(w, "sync");
    if (fclose(f) != 0) ok = FailSys(w, "close");
    std::string tmp = TempName(w);
    if (ok && rename(tmp.c_str(), w->name) != 0) ok = FailSys(w, "rename");
    if (!ok) {
        unlink(tmp.c_str());
        w->failed = 1;
        TLOG(TLOG_WARNING, "Unable to write file %s; previous contents kept", w->name);
    }
    return ok;
}

int Cfile_Failed(const CFILE* w) { return w ? w->failed : 1; }

const char* Cfile_Why(const CFILE* w) { return w ? w->why : ""; }

int Cfile_WriteInt(CFILE* w, int value)
{
    ASSERT(w);
    return PutU32(w, (uint32_t)value);
}

int Cfile_Write(CFILE* w, const void* addr, size_t len)
{
    ASSERT(w);
    if (len == 0 || !addr) return CanWriteBinary(w) ? 1 : Fail(w);
    return PutBytes(w, addr, len);
}

int Cfile_WriteBlock(CFILE* w, const void* addr, size_t len)
{
    ASSERT(w);
    if (!addr) len = 0;
    if (len > UINT32_MAX) return Fail(w); // its length wouldn't fit the field
    if (!PutU32(w, (uint32_t)len)) return 0;
    return len ? PutBytes(w, addr, len) : 1;
}

int Cfile_Printf(CFILE* w, const char* fmt, ...)
{
    ASSERT(w);
    if (!w->file || !w->writing || !w->text || !fmt) return Fail(w);
    va_list ap;
    va_start(ap, fmt);
    int n = vfprintf(w->file, fmt, ap);
    va_end(ap);
    if (n < 0) return FailSys(w, "write");
    w->cursor += (size_t)n;
    return 1;
}

int Cfile_ReadInt(CFILE* w)
{
    ASSERT(w);
    unsigned char b[4];
    GetBytes(w, b, sizeof b);
    return (int)((uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24);
}

int Cfile_Read(CFILE* w, void* addr, size_t len)
{
    ASSERT(w);
    if (len == 0 || !addr) return 1;
    return GetBytes(w, addr, len);
}

int Cfile_ReadBlock(CFILE* w, void* addr, size_t size)
{
    ASSERT(w);
    if (!addr) size = 0;
    unsigned char b[4];
    if (!GetBytes(w, b, sizeof b)) {
        if (size) memset(addr, 0, size);
        return 0;
    }
    uint32_t length = (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
    if (length > size) {
        if (size && !GetBytes(w, addr, size)) return 0;
        return SkipBytes(w, length - size);
    }
    if (length && !GetBytes(w, addr, length)) {
        memset(static_cast<unsigned char*>(addr) + length, 0, size - length);
        return 0;
    }
    if (size > length) memset(static_cast<unsigned char*>(addr) + length, 0, size - length);
    return 1;
}
