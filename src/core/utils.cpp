#include "core/utils.h"

#include <climits>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tlog.h"

void Str_CopySafe(char* dst, const char* src, size_t size)
{
    if (!dst || size == 0) return;
    size_t n = src ? strnlen(src, size - 1) : 0;
    if (n) memmove(dst, src, n);
    dst[n] = 0;
}

int Str_CompareNoCase(const char* a, const char* b)
{
    for (;; a++, b++) {
        int ca = static_cast<unsigned char>(*a);
        int cb = static_cast<unsigned char>(*b);
        if (ca >= 'A' && ca <= 'Z') ca += 'a' - 'A';
        if (cb >= 'A' && cb <= 'Z') cb += 'a' - 'A';
        if (ca != cb || ca == 0) return ca - cb;
    }
}

namespace {

bool IsSep(char c) { return c == '\\' || c == '/'; }

void AppendPart(std::string* path, const char* part)
{
    if (!part || !*part) return;
    if (path->empty()) {
        *path = part; // a leading separator keeps an absolute path absolute
        return;
    }
    char lead = IsSep(*part) ? *part : '\\';
    while (IsSep(*part)) part++;
    if (!IsSep(path->back())) *path += lead;
    *path += part;
}

// Everything below the directory open as dirfd; path only names it in the log.
// Works relative to open directories, so neither a symbolic link swapped in
// during the walk nor a tree deeper than PATH_MAX leads it astray.
void RemoveChildren(int dirfd, const std::string& path)
{
    int listfd = dup(dirfd);
    DIR* d = listfd >= 0 ? fdopendir(listfd) : nullptr;
    if (!d) {
        if (listfd >= 0) close(listfd);
        return; // the directory's own removal will fail and say so
    }
    std::vector<std::string> names;
    while (struct dirent* e = readdir(d)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
        names.push_back(e->d_name);
    }
    closedir(d);
    std::sort(names.begin(), names.end()); // the same log on every file system

    for (const std::string& name : names) {
        std::string full = path + "/" + name;
        struct stat st;
        if (fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
            int sub = openat(dirfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) {
                RemoveChildren(sub, full);
                close(sub);
            }
            if (unlinkat(dirfd, name.c_str(), AT_REMOVEDIR) != 0)
                TLOG(TLOG_WARNING, "Cannot remove directory: %s", full.c_str());
        } else if (unlinkat(dirfd, name.c_str(), 0) != 0) {
            TLOG(TLOG_WARNING, "Cannot remove file: %s", full.c_str());
        }
    }
}

} // namespace

int Utils_MakePath(char* out, const char* dir1, const char* dir2, const char* dir3,
                   const char* name, const char* extension)
{
    if (!out) return 0;
    std::string path;
    AppendPart(&path, dir1);
    AppendPart(&path, dir2);
    AppendPart(&path, dir3);
    AppendPart(&path, name);
    if (name && *name && extension && *extension) {
        if (extension[0] != '.') path += '.';
        path += extension;
    }
    if (path.size() >= UTILS_PATH) {
        out[0] = 0; // a cut path would name some other file
        return 0;
    }
    memcpy(out, path.c_str(), path.size() + 1);
    return 1;
}

// The first of dirs (a null or empty one skipped: not the current
// directory instead) that holds name.
static int FindIn(char* out, const char* name, const char* dir1, const char* dir2, const char* dir3)
{
    if (!out) return 0;
    out[0] = 0;
    if (!name || !*name) return 0;
    for (const char* dir : {dir1, dir2, dir3}) {
        if (!dir || !*dir) continue;
        if (Utils_MakePath(out, dir, nullptr, nullptr, name, nullptr) && Fs_Exists(out)) return 1;
    }
    out[0] = 0;
    return 0;
}

// The editor's pickers list the scenario folder and the AI-plan directory
// alone: a file moved to the retired folder is still found for the
// scenarios that name it, and offered to none.
static const char* RetiredDir(char* out)
{
    if (!*g_AipDir || !Utils_MakePath(out, g_AipDir, UTILS_RETIRED_DIR, nullptr, nullptr, nullptr)) out[0] = 0;
    return out;
}

int Utils_FindDataFile(char* out, const char* name)
{
    char retired[UTILS_PATH];
    return FindIn(out, name, g_ScenarioDir, g_AipDir, RetiredDir(retired));
}

int Utils_FindSharedDataFile(char* out, const char* name)
{
    char retired[UTILS_PATH];
    return FindIn(out, name, g_AipDir, RetiredDir(retired), nullptr);
}

int Utils_DeleteTree(const char* dir)
{
    if (!dir || !*dir) return 0;
    std::string path = Fs_Resolve(dir);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.find_first_not_of('/') == std::string::npos) {
        TLOG(TLOG_WARNING, "Cannot remove directory: %s", path.c_str());
        return 0;
    }
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) {
        if (unlink(path.c_str()) == 0) return 1;
        TLOG(TLOG_WARNING, "Cannot remove file: %s", path.c_str());
        return 0;
    }
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        RemoveChildren(fd, path);
        close(fd);
    }
    if (rmdir(path.c_str()) == 0) return 1;
    TLOG(TLOG_WARNING, "Cannot remove directory: %s", path.c_str());
    return 0;
}

int Str_ReadInt(const char* text, int* value)
{
    const char* p = text;
    while (*p == ' ' || *p == '\t') p++;
    int negative = 0;
    if (*p == '-' || *p == '+') negative = (*p++ == '-');
    if (*p < '0' || *p > '9') return 0;
    long long v = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        v = v * 10 + (*p - '0');
        if (v > (long long)INT_MAX + 1) return 0;
    }
    while (*p == ' ' || *p == '\t') p++;
    if (*p) return 0;
    if (negative) v = -v;
    if (v > INT_MAX) return 0;
    *value = (int)v;
    return 1;
}

int Str_ToInt(const char* text)
{
    const char* p = text;
    while (*p == ' ' || *p == '\t') p++;
    int negative = 0;
    if (*p == '-' || *p == '+') negative = (*p++ == '-');
    long long value = 0;
    while (*p >= '0' && *p <= '9') {
        if (value <= (long long)INT_MAX + 1) value = value * 10 + (*p - '0');
        p++;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return (int)value;
}
