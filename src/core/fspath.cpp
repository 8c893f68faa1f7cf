#include "core/fspath.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "core/utils.h"

namespace {

// The name in dir matching name without regard to case; when several do, the
// first in bytewise order, so the choice doesn't depend on readdir's order.
// Empty when none does (or dir can't be read).
std::string FindIgnoringCase(const std::string& dir, const std::string& name)
{
    std::string best;
    DIR* d = opendir(dir.empty() ? "/" : dir.c_str());
    if (!d) return best;
    while (struct dirent* e = readdir(d)) {
        if (Str_CompareNoCase(e->d_name, name.c_str()) != 0) continue;
        if (best.empty() || strcmp(e->d_name, best.c_str()) < 0) best = e->d_name;
    }
    closedir(d);
    return best;
}

// Removes the temporary file when a write gives up part way.
struct TEMPFILE {
    std::string path;
    int made = 0;
    ~TEMPFILE()
    {
        if (made) unlink(path.c_str());
    }
};

// Replacing a link instead of the file it names would leave the real file
// with its old contents.
std::string FollowLinks(std::string path)
{
    for (int hops = 0; hops < 40; hops++) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        char buf[PATH_MAX];
        ssize_t n = readlink(path.c_str(), buf, sizeof buf);
        if (n <= 0 || n >= (ssize_t)sizeof buf) return std::string();
        std::string link(buf, (size_t)n);
        size_t cut = path.rfind('/');
        if (link[0] != '/' && cut != std::string::npos) link = path.substr(0, cut + 1) + link;
        path = link;
    }
    return std::string();
}

} // namespace

std::string Fs_Resolve(const char* path)
{
    if (!path) return std::string();
    std::string in = path;
    for (char& ch : in)
        if (ch == '\\') ch = '/';

    const bool absolute = !in.empty() && in[0] == '/';
    // The directory resolved so far, for the look-ups; the output keeps the
    // separators exactly as written (doubled or trailing ones included).
    std::string dir = absolute ? "" : ".";
    std::string out;
    bool matching = true;
    size_t pos = 0;
    bool first = true;
    while (true) {
        size_t slash = in.find('/', pos);
        std::string comp = in.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        if (!first) out += '/';
        first = false;
        if (!comp.empty() && matching && comp != "." && comp != "..") {
            std::string exact = dir + "/" + comp;
            struct stat st;
            if (lstat(exact.c_str(), &st) != 0) {
                std::string found = FindIgnoringCase(dir, comp);
                if (found.empty()) matching = false; // the rest is kept as written
                else comp = found;
            }
        }
        out += comp;
        if (!comp.empty()) dir += "/" + comp;
        if (slash == std::string::npos) break;
        pos = slash + 1;
    }
    return out;
}

FILE* Fs_Open(const char* path, const char* mode)
{
    if (!path || !*path || !mode) return nullptr;
    return fopen(Fs_Resolve(path).c_str(), mode);
}

int Fs_Exists(const char* path)
{
    if (!path || !*path) return 0;
    struct stat st;
    return stat(Fs_Resolve(path).c_str(), &st) == 0;
}

int Fs_IsDir(const char* path)
{
    if (!path || !*path) return 0;
    struct stat st;
    return stat(Fs_Resolve(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int Fs_ReadAll(const char* path, std::string* out)
{
    if (!out) return 0;
    out->clear();
    FILE* f = Fs_Open(path, "rb");
    if (!f) return 0;
    char buf[64 * 1024];
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, got);
    int ok = !ferror(f);
    fclose(f);
    if (!ok) out->clear();
    return ok;
}

std::string Fs_WriteTarget(const char* path)
{
    if (!path || !*path) return std::string();
    return FollowLinks(Fs_Resolve(path));
}

// A private file must not come back readable by everyone.
int Fs_KeepMode(int fd, const char* target)
{
    struct stat old;
    if (stat(target, &old) != 0 || !S_ISREG(old.st_mode)) return 1;
    return fchmod(fd, old.st_mode & 07777) == 0;
}

const char* Fs_KindOf(unsigned mode)
{
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISLNK(mode)) return "a symbolic link";
    return "of an unknown kind";
}

int Fs_OpenTemp(const std::string& tmp, const char* target, std::string* why)
{
    // The rename would replace a device node or a pipe the target names
    // by the file; at a directory it would fail only after the whole write,
    // saying less than this does.
    struct stat st;
    if (stat(target, &st) == 0 && !S_ISREG(st.st_mode)) {
        if (why) *why = std::string(target) + " is " + Fs_KindOf(st.st_mode) + ", not a regular file";
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return -1;
    }
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = open(tmp.c_str(), flags, 0666);
    // The name carries the process id, so what is left there would stop
    // every later write of the target until the program ends. A file an
    // earlier process of this id left, a FIFO or a socket is taken away:
    // removing the name loses no data (whoever holds the FIFO open keeps
    // it). A directory, a device or a link is left where it is.
    if (fd < 0 && errno == EEXIST && lstat(tmp.c_str(), &st) == 0) {
        const int err = errno;
        if ((S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) && unlink(tmp.c_str()) == 0) {
            fd = open(tmp.c_str(), flags, 0666);
        } else {
            if (why && !S_ISREG(st.st_mode))
                *why = "the temporary name " + tmp + " is " + Fs_KindOf(st.st_mode) + ", not a regular file";
            errno = err;
        }
    }
    if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

int Fs_WriteAtomic(const char* path, const void* data, size_t length)
{
    if (!path || !*path || (!data && length)) return 0;
    std::string target = Fs_WriteTarget(path);
    if (target.empty()) return 0;
    TEMPFILE tmp;
    tmp.path = target + ".tmp" + std::to_string((long)getpid());

    // A directory or other non-file already sitting on the temporary name
    // makes the write fail, not be removed.
    int fd = Fs_OpenTemp(tmp.path, target.c_str());
    if (fd < 0) return 0;
    tmp.made = 1;
    if (!Fs_KeepMode(fd, target.c_str())) {
        close(fd);
        return 0;
    }
    FILE* f = fdopen(fd, "wb");
    if (!f) {
        close(fd);
        return 0;
    }
    int ok = length == 0 || fwrite(data, 1, length, f) == length;
    ok = ok && fflush(f) == 0 && fsync(fileno(f)) == 0;
    // fclose must run either way; its result counts as much as the writes.
    ok = (fclose(f) == 0) && ok;
    if (!ok) return 0;
    if (rename(tmp.path.c_str(), target.c_str()) != 0) return 0;
    tmp.made = 0;

    // Make the rename itself survive a power cut.
    size_t cut = target.rfind('/');
    std::string dir = cut == std::string::npos ? "." : cut == 0 ? "/" : target.substr(0, cut);
    int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
    return 1;
}
