// CRC-32, the file wrapper, the path resolver and the path helpers.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/cfile.h"
#include "core/crc32.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "support/testsupport.h"

namespace {

// The definition itself, one bit at a time: what every fast path must match.
uint32_t BitwiseCrc(uint32_t crc, const unsigned char* p, size_t n)
{
    uint32_t c = ~crc;
    for (size_t i = 0; i < n; i++) {
        c ^= (uint32_t)p[i] << 24;
        for (int b = 0; b < 8; b++) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : (c << 1);
    }
    return ~c;
}

std::vector<unsigned char> RandomBytes(size_t n, uint32_t seed)
{
    std::mt19937 gen(seed);
    std::vector<unsigned char> v(n);
    for (auto& b : v) b = (unsigned char)gen();
    return v;
}

std::string Bytes(std::initializer_list<int> list)
{
    std::string s;
    for (int b : list) s += (char)b;
    return s;
}

} // namespace

// ---------------------------------------------------------------- CRC-32

class Crc32 : public testing::TestWithParam<int> {
protected:
    void SetUp() override { Crc32_SetCarryless(GetParam()); }
    void TearDown() override { Crc32_SetCarryless(1); }
};

TEST_P(Crc32, MatchesTheBitwiseDefinitionAtEveryLengthAndAlignment)
{
    EXPECT_EQ(Crc32_Block("123456789", 9), 0xFC891918u);
    std::vector<unsigned char> data = RandomBytes(5000, 7);
    std::mt19937 gen(11);
    for (int trial = 0; trial < 400; trial++) {
        size_t offset = gen() % 16;
        // Short lengths cover the table path, long ones the folding and its tail.
        size_t length = trial < 200 ? trial : gen() % (data.size() - offset);
        uint32_t seed = trial % 3 ? (uint32_t)gen() : 0;
        EXPECT_EQ(Crc32_Update(seed, data.data() + offset, length),
                  BitwiseCrc(seed, data.data() + offset, length))
            << "offset " << offset << " length " << length;
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, Crc32, testing::Values(0, 1),
                         [](const testing::TestParamInfo<int>& p) {
                             return p.param ? std::string("Carryless") : std::string("Sliced");
                         });

TEST(Crc32Files, FileCrcIsTheBlockCrcOfItsBytes)
{
    QvTempDir tmp;
    std::vector<unsigned char> data = RandomBytes(200000, 9);
    tmp.write("big.bin", std::string(data.begin(), data.end()));
    uint32_t crc = 1;
    ASSERT_EQ(Crc32_File(tmp.file("big.bin").c_str(), &crc), 1);
    EXPECT_EQ(crc, Crc32_Block(data.data(), data.size()));
    EXPECT_EQ(Crc32_File(tmp.file("absent.bin").c_str(), &crc), 0);
}

// Each file is its name, 0, its length (8 bytes LE) and its bytes, in
// bytewise name order ("Sub" before "a") whatever the creation order.
TEST(Crc32Files, TreeIsTheDocumentedStreamInNameOrder)
{
    QvTempDir tmp;
    tmp.write("tree/b.txt", "bee");
    tmp.write("tree/Sub/z.txt", "zed");
    tmp.write("tree/a.txt", "ay");
    mkdir(tmp.file("tree/empty").c_str(), 0755);
    std::string stream;
    for (auto [rel, body] : {std::pair<std::string, std::string>{"Sub\\z.txt", "zed"},
                             {"a.txt", "ay"}, {"b.txt", "bee"}}) {
        stream += rel + '\0';
        for (int i = 0; i < 8; i++) stream += (char)((uint64_t)body.size() >> (8 * i));
        stream += body;
    }
    uint32_t crc = 0;
    ASSERT_EQ(Crc32_Tree(tmp.file("tree").c_str(), &crc), 1);
    EXPECT_EQ(crc, Crc32_Block(stream.data(), stream.size()));
}

// ---------------------------------------------------------------- CFILE

class CfileIo : public testing::Test {
protected:
    void SetUp() override { w = Cfile_BufferCreate(); }
    void TearDown() override { Cfile_BufferFree(w); }

    QvTempDir tmp;
    CFILE* w = nullptr;
};

TEST_F(CfileIo, IntsAndBlocksAreLittleEndianBothWays)
{
    std::string path = tmp.file("f.bin");
    ASSERT_EQ(Cfile_OpenWrite(w, path.c_str(), 0), 1);
    EXPECT_EQ(Cfile_WriteInt(w, 0x11223344), 1);
    EXPECT_EQ(Cfile_WriteInt(w, -2), 1);
    EXPECT_EQ(Cfile_WriteBlock(w, "abc", 3), 1);
    EXPECT_EQ(Cfile_WriteBlock(w, nullptr, 2), 1); // an empty block
    ASSERT_EQ(Cfile_Close(w), 1);
    EXPECT_EQ(tmp.read("f.bin"), Bytes({0x44, 0x33, 0x22, 0x11, 0xFE, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0,
                                        'a', 'b', 'c', 0, 0, 0, 0}));
    ASSERT_EQ(Cfile_OpenRead(w, path.c_str()), 1);
    EXPECT_EQ(Cfile_ReadInt(w), 0x11223344);
    EXPECT_EQ(Cfile_ReadInt(w), -2);
    EXPECT_FALSE(Cfile_Failed(w));
    Cfile_Close(w);
}

// A longer block is cut and its rest skipped, a shorter one padded with
// zeros; one cut short by the end of the file is a failure (it used to be
// reported as read, with stale bytes left in the buffer).
TEST_F(CfileIo, BlockFillsTheBufferWhateverItsLength)
{
    struct Row {
        std::string bytes;
        size_t size;
        int result;
        std::string buffer;
        int next; // the int after the block
    };
    const Row rows[] = {
        {Bytes({5, 0, 0, 0, 'a', 'b', 'c', 'd', 'e', 7, 0, 0, 0}), 3, 1, "abc", 7},
        {Bytes({2, 0, 0, 0, 'a', 'b', 9, 0, 0, 0}), 5, 1, std::string("ab\0\0\0", 5), 9},
        {Bytes({6, 0, 0, 0, 'a', 'b'}), 6, 0, std::string("ab\0\0\0\0", 6), 0},
        {Bytes({9, 0, 0, 0, 'a', 'b', 'c'}), 2, 0, "ab", 0}, // the skip runs past the end
        {Bytes({1, 0}), 4, 0, std::string(4, '\0'), 0},     // not even the length
    };
    for (const Row& row : rows) {
        tmp.write("in.bin", row.bytes);
        ASSERT_EQ(Cfile_OpenRead(w, tmp.file("in.bin").c_str()), 1);
        char buf[8];
        memset(buf, '?', sizeof buf);
        EXPECT_EQ(Cfile_ReadBlock(w, buf, row.size), row.result) << row.buffer;
        EXPECT_EQ(std::string(buf, row.size), row.buffer);
        EXPECT_EQ(Cfile_Failed(w), !row.result);
        if (row.result) {
            EXPECT_EQ(Cfile_ReadInt(w), row.next);
        }
        Cfile_Close(w);
    }
}

TEST_F(CfileIo, FailedWriteKeepsThePreviousFile)
{
    tmp.write("save.bin", "old");
    std::string path = tmp.file("save.bin");
    ASSERT_EQ(Cfile_OpenWrite(w, path.c_str(), 0), 1);
    EXPECT_EQ(Cfile_Write(w, "new", 3), 1);
    EXPECT_EQ(tmp.read("save.bin"), "old"); // nothing visible before the close
    EXPECT_EQ(Cfile_Printf(w, "text"), 0);   // text on a binary file spoils it
    EXPECT_TRUE(Cfile_Failed(w));
    EXPECT_EQ(Cfile_Close(w), 0);
    EXPECT_EQ(tmp.read("save.bin"), "old");
    EXPECT_EQ(Fs_Exists((path + ".tmp" + std::to_string(getpid())).c_str()), 0);
}

// ---------------------------------------------------------------- Paths

TEST(MakePath, JoinsNonEmptyPartsAndNeverWritesPastTheBuffer)
{
    struct Row {
        const char *d1, *d2, *d3, *name, *ext, *want;
    };
    const Row rows[] = {
        {"data\\", "\\aip/", nullptr, "plan", "aip", "data\\aip/plan.aip"},
        {"", "", "", "QUORVEX", ".scn", "QUORVEX.scn"},
        {"dir", "", "", "", ".scn", "dir"},
    };
    char out[UTILS_PATH];
    for (const Row& r : rows) {
        Utils_MakePath(out, r.d1, r.d2, r.d3, r.name, r.ext);
        EXPECT_STREQ(out, r.want);
    }
    std::vector<char> big(UTILS_PATH + 8, '#');
    std::string longdir(200, 'd');
    EXPECT_EQ(Utils_MakePath(big.data(), longdir.c_str(), longdir.c_str(), "", "n", ""), 0);
    EXPECT_EQ(big[0], '\0');
    for (size_t i = UTILS_PATH; i < big.size(); i++) EXPECT_EQ(big[i], '#');
}

TEST(FsResolve, MatchesNamesWithoutRegardToCasePreferringTheExactOne)
{
    QvTempDir tmp;
    tmp.write("Data/Graphics/Tiles.PCX", "t");
    tmp.write("dir/abc", "lower");
    tmp.write("dir/ABC", "upper");
    tmp.write("dir/Abc", "mixed");
    std::string base = tmp.path();
    EXPECT_EQ(Fs_Resolve((base + "\\data\\GRAPHICS\\tiles.pcx").c_str()),
              base + "/Data/Graphics/Tiles.PCX");
    // A name that matches nothing is kept, and so is everything after it.
    EXPECT_EQ(Fs_Resolve((base + "\\data\\New\\GRAPHICS").c_str()), base + "/Data/New/GRAPHICS");
    EXPECT_EQ(Fs_Resolve((base + "/dir/Abc").c_str()), base + "/dir/Abc");
    EXPECT_EQ(Fs_Resolve((base + "/dir/aBC").c_str()), base + "/dir/ABC");
    QvTempDir here(true);
    here.write("Scen/Map.Txt", "m");
    EXPECT_EQ(Fs_Resolve("scen\\map.txt"), "Scen/Map.Txt");
}

// An atomic write lands in the file the path names: through links, which
// stay, with the old file's permission bits.
TEST(FsWriteAtomic, ReplacesTheFileItNamesKeepingLinksAndPermissions)
{
    QvTempDir tmp;
    tmp.write("a/cfg.txt", "old");
    chmod(tmp.file("a/cfg.txt").c_str(), 0640);
    tmp.write("b/real/cfg.txt", "old");
    chmod(tmp.file("b/real/cfg.txt").c_str(), 0600);
    ASSERT_EQ(symlink("real/cfg.txt", tmp.file("b/two").c_str()), 0);
    ASSERT_EQ(symlink("two", tmp.file("b/one").c_str()), 0);
    ASSERT_EQ(symlink("new.txt", tmp.file("dangling").c_str()), 0);
    mode_t mask = umask(0);
    umask(mask);
    struct Row {
        const char* written;
        const char* file;
        mode_t mode;
    };
    const Row rows[] = {{"a/CFG.TXT", "a/cfg.txt", 0640},
                        {"b/one", "b/real/cfg.txt", 0600},
                        {"dangling", "new.txt", 0666 & ~mask}}; // makes the file
    struct stat st;
    for (const Row& row : rows) {
        ASSERT_EQ(Fs_WriteAtomic(tmp.file(row.written).c_str(), "new", 3), 1) << row.written;
        EXPECT_EQ(tmp.read(row.file), "new") << row.written;
        ASSERT_EQ(stat(tmp.file(row.file).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, row.mode) << row.written;
        ASSERT_EQ(lstat(Fs_Resolve(tmp.file(row.written).c_str()).c_str(), &st), 0);
        EXPECT_EQ(S_ISLNK(st.st_mode), row.written[0] != 'a');
    }
}

TEST(FsWriteAtomic, FailedWriteLeavesTheOldFile)
{
    QvTempDir tmp;
    tmp.write("cfg.txt", "old");
    std::string blocker = tmp.file("cfg.txt") + ".tmp" + std::to_string(getpid());
    ASSERT_EQ(mkdir(blocker.c_str(), 0755), 0);
    EXPECT_EQ(Fs_WriteAtomic(tmp.file("cfg.txt").c_str(), "new", 3), 0);
    EXPECT_EQ(tmp.read("cfg.txt"), "old");
    EXPECT_EQ(Fs_IsDir(blocker.c_str()), 1); // what was in the way is left alone
}

TEST(FindDataFile, TriesTheScenarioFolderThenThePlans)
{
    QvTempDir tmp;
    tmp.write("scen/local.aip", "s");
    tmp.write("aip/local.aip", "a");
    tmp.write("aip/shared.aip", "a");
    tmp.write("aip/retired/shared.aip", "r");
    tmp.write("aip/retired/old.end", "r");
    std::string savedScen = g_ScenarioDir, savedAip = g_AipDir;
    Str_CopySafe(g_ScenarioDir, tmp.file("scen").c_str(), GAME_PATH);
    Str_CopySafe(g_AipDir, tmp.file("aip").c_str(), GAME_PATH);

    char out[UTILS_PATH];
    EXPECT_EQ(Utils_FindDataFile(out, "local.aip"), 1);
    EXPECT_EQ(std::string(out), tmp.file("scen") + "\\local.aip");
    EXPECT_EQ(Utils_FindDataFile(out, "SHARED.AIP"), 1);
    EXPECT_EQ(std::string(out), tmp.file("aip") + "\\SHARED.AIP");
    EXPECT_EQ(Utils_FindDataFile(out, "none.aip"), 0);
    // Last, the files that only stored scenarios still name.
    EXPECT_EQ(Utils_FindDataFile(out, "OLD.END"), 1);
    EXPECT_EQ(std::string(out), tmp.file("aip") + "\\retired\\OLD.END");
    EXPECT_EQ(Utils_FindSharedDataFile(out, "local.aip"), 1);
    EXPECT_EQ(std::string(out), tmp.file("aip") + "\\local.aip");

    Str_CopySafe(g_ScenarioDir, savedScen.c_str(), GAME_PATH);
    Str_CopySafe(g_AipDir, savedAip.c_str(), GAME_PATH);
}

// ---------------------------------------------------------------- DeleteTree

// The immutable flag is the one thing that stops root from unlinking.
static bool SetImmutable(const std::string& path, bool on)
{
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    close(fd);
    return ok;
}

TEST(DeleteTree, RemovesANestedTreeAndNotWhatLinksPointAt)
{
    QvTempDir tmp;
    QvLogCapture log;
    tmp.write("tree/a/b/c/deep.txt", "x");
    tmp.write("tree/top.txt", "x");
    tmp.write("outside/keep.txt", "keep");
    ASSERT_EQ(symlink(tmp.file("outside").c_str(), tmp.file("tree/a/link").c_str()), 0);

    EXPECT_EQ(Utils_DeleteTree(tmp.file("TREE").c_str()), 1);
    EXPECT_FALSE(Fs_Exists(tmp.file("tree").c_str()));
    EXPECT_EQ(tmp.read("outside/keep.txt"), "keep");
    EXPECT_EQ(log.text(), "");
    EXPECT_EQ(Utils_DeleteTree("/"), 0);
}

TEST(DeleteTree, LogsWhatItCannotRemoveAndGoesOn)
{
    QvTempDir tmp;
    QvLogCapture log;
    tmp.write("tree/a/stuck.txt", "x");
    tmp.write("tree/b/gone.txt", "x");
    std::string stuck = tmp.file("tree/a/stuck.txt");
    if (!SetImmutable(stuck, true)) GTEST_SKIP() << "no immutable flag on this file system";

    EXPECT_EQ(Utils_DeleteTree(tmp.file("tree").c_str()), 0);
    SetImmutable(stuck, false);

    EXPECT_TRUE(Fs_Exists(stuck.c_str()));
    EXPECT_FALSE(Fs_Exists(tmp.file("tree/b").c_str()));
    EXPECT_NE(log.text().find("Cannot remove file: " + stuck), std::string::npos) << log.text();
    EXPECT_NE(log.text().find("Cannot remove directory: " + tmp.file("tree") + "\n"),
              std::string::npos)
        << log.text();
}
