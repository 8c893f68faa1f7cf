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

#include "core/bytes.h"
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

TEST_P(Crc32, GivesTheCheckValueAndZeroForNoBytes)
{
    EXPECT_EQ(Crc32_Block("123456789", 9), 0xFC891918u);
    EXPECT_EQ(Crc32_Block("", 0), 0u);
    EXPECT_EQ(Crc32_Update(0x12345678u, "x", 0), 0x12345678u);
}

TEST_P(Crc32, MatchesTheBitwiseDefinitionAtEveryLengthAndAlignment)
{
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

TEST_P(Crc32, ChainedPiecesEqualOneBlock)
{
    std::vector<unsigned char> data = RandomBytes(3000, 3);
    uint32_t whole = Crc32_Block(data.data(), data.size());
    std::mt19937 gen(5);
    for (int trial = 0; trial < 20; trial++) {
        uint32_t crc = 0;
        size_t at = 0;
        while (at < data.size()) {
            size_t piece = std::min(data.size() - at, (size_t)(gen() % 700));
            crc = Crc32_Update(crc, data.data() + at, piece);
            at += piece;
        }
        EXPECT_EQ(crc, whole);
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, Crc32, testing::Values(0, 1),
                         [](const testing::TestParamInfo<int>& p) {
                             return p.param ? std::string("Carryless") : std::string("Sliced");
                         });

class Crc32Files : public testing::Test {
protected:
    QvTempDir tmp;
};

TEST_F(Crc32Files, FileCrcIsTheBlockCrcOfItsBytes)
{
    std::vector<unsigned char> data = RandomBytes(200000, 9);
    tmp.write("big.bin", std::string(data.begin(), data.end()));
    uint32_t crc = 1;
    ASSERT_EQ(Crc32_File(tmp.file("big.bin").c_str(), &crc), 1);
    EXPECT_EQ(crc, Crc32_Block(data.data(), data.size()));
    EXPECT_EQ(Crc32_File(tmp.file("absent.bin").c_str(), &crc), 0);
    EXPECT_EQ(crc, 0u);
}

TEST_F(Crc32Files, TreeFollowsTheDocumentedOrderWhateverTheCreationOrder)
{
    // Created in one order in a, the reverse in b.
    QvTempDir other;
    tmp.write("tree/b.txt", "bee");
    tmp.write("tree/Sub/z.txt", "zed");
    tmp.write("tree/a.txt", "ay");
    mkdir(tmp.file("tree/empty").c_str(), 0755);
    other.write("tree/a.txt", "ay");
    other.write("tree/Sub/z.txt", "zed");
    other.write("tree/b.txt", "bee");

    uint32_t one = 0, two = 0;
    ASSERT_EQ(Crc32_Tree(tmp.file("tree").c_str(), &one), 1);
    ASSERT_EQ(Crc32_Tree(other.file("tree").c_str(), &two), 1);
    EXPECT_EQ(one, two);

    // "Sub" sorts before "a" bytewise; each file is name, 0, length (8 bytes LE), bytes.
    std::string stream;
    auto add = [&](const std::string& rel, const std::string& body) {
        stream += rel;
        stream += '\0';
        for (int i = 0; i < 8; i++) stream += (char)((uint64_t)body.size() >> (8 * i));
        stream += body;
    };
    add("Sub\\z.txt", "zed");
    add("a.txt", "ay");
    add("b.txt", "bee");
    EXPECT_EQ(one, Crc32_Block(stream.data(), stream.size()));
}

TEST_F(Crc32Files, TreeTellsFileBoundariesApart)
{
    // One file holding what would otherwise read as the next file's header.
    QvTempDir other;
    tmp.write("t/a", std::string("xb\0y", 4));
    other.write("t/a", "x");
    other.write("t/b", "y");
    uint32_t one = 0, two = 0;
    ASSERT_EQ(Crc32_Tree(tmp.file("t").c_str(), &one), 1);
    ASSERT_EQ(Crc32_Tree(other.file("t").c_str(), &two), 1);
    EXPECT_NE(one, two);
    EXPECT_EQ(Crc32_Tree(tmp.file("missing").c_str(), &one), 0);
}

// ---------------------------------------------------------------- CFILE

class CfileIo : public testing::Test {
protected:
    void SetUp() override { w = Cfile_BufferCreate(); }
    void TearDown() override { Cfile_BufferFree(w); }

    // Writes raw bytes as the file and opens it for reading.
    void OpenBytes(const std::string& bytes)
    {
        tmp.write("in.bin", bytes);
        ASSERT_EQ(Cfile_OpenRead(w, tmp.file("in.bin").c_str()), 1);
    }

    QvTempDir tmp;
    CFILE* w = nullptr;
};

TEST_F(CfileIo, IntsAreFourBytesLittleEndianBothWays)
{
    std::string path = tmp.file("ints.bin");
    ASSERT_EQ(Cfile_OpenWrite(w, path.c_str(), 0), 1);
    EXPECT_EQ(Cfile_WriteInt(w, 0x11223344), 1);
    EXPECT_EQ(Cfile_WriteInt(w, -2), 1);
    ASSERT_EQ(Cfile_Close(w), 1);
    EXPECT_EQ(tmp.read("ints.bin"), Bytes({0x44, 0x33, 0x22, 0x11, 0xFE, 0xFF, 0xFF, 0xFF}));

    ASSERT_EQ(Cfile_OpenRead(w, path.c_str()), 1);
    EXPECT_EQ(Cfile_ReadInt(w), 0x11223344);
    EXPECT_EQ(Cfile_ReadInt(w), -2);
    EXPECT_FALSE(Cfile_Failed(w));
    EXPECT_EQ(Cfile_ReadInt(w), 0); // past the end
    EXPECT_TRUE(Cfile_Failed(w));
    EXPECT_EQ(Cfile_Close(w), 1);
}

TEST_F(CfileIo, BlockIsALengthThenTheBytes)
{
    std::string path = tmp.file("blocks.bin");
    ASSERT_EQ(Cfile_OpenWrite(w, path.c_str(), 0), 1);
    EXPECT_EQ(Cfile_WriteBlock(w, "abc", 3), 1);
    EXPECT_EQ(Cfile_WriteBlock(w, nullptr, 5), 1);
    EXPECT_EQ(Cfile_WriteBlock(w, "xyz", 0), 1);
    ASSERT_EQ(Cfile_Close(w), 1);
    EXPECT_EQ(tmp.read("blocks.bin"),
              Bytes({3, 0, 0, 0, 'a', 'b', 'c', 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(CfileIo, LongerBlockIsCutAndTheRestSkipped)
{
    OpenBytes(Bytes({5, 0, 0, 0, 'a', 'b', 'c', 'd', 'e', 7, 0, 0, 0}));
    char buf[3] = {'?', '?', '?'};
    EXPECT_EQ(Cfile_ReadBlock(w, buf, 3), 1);
    EXPECT_EQ(std::string(buf, 3), "abc");
    EXPECT_EQ(Cfile_ReadInt(w), 7); // the next field starts after the block
    EXPECT_FALSE(Cfile_Failed(w));
}

TEST_F(CfileIo, ShorterBlockIsPaddedWithZeros)
{
    OpenBytes(Bytes({2, 0, 0, 0, 'a', 'b', 9, 0, 0, 0}));
    char buf[5] = {'?', '?', '?', '?', '?'};
    EXPECT_EQ(Cfile_ReadBlock(w, buf, 5), 1);
    EXPECT_EQ(std::string(buf, 5), std::string("ab\0\0\0", 5));
    EXPECT_EQ(Cfile_ReadInt(w), 9);
}

// A block cut short by the end of the file used to be reported as read, with
// stale bytes left in the caller's buffer.
TEST_F(CfileIo, TruncatedBlockReportedAsReadRegression)
{
    char buf[6];
    OpenBytes(Bytes({6, 0, 0, 0, 'a', 'b'}));
    memset(buf, '?', sizeof buf);
    EXPECT_EQ(Cfile_ReadBlock(w, buf, 6), 0);
    EXPECT_EQ(std::string(buf, 6), std::string("ab\0\0\0\0", 6));
    EXPECT_TRUE(Cfile_Failed(w));
    Cfile_Close(w);

    OpenBytes(Bytes({9, 0, 0, 0, 'a', 'b', 'c'})); // the skip runs past the end
    memset(buf, '?', sizeof buf);
    EXPECT_EQ(Cfile_ReadBlock(w, buf, 2), 0);
    EXPECT_EQ(std::string(buf, 2), "ab");
    Cfile_Close(w);

    OpenBytes(Bytes({1, 0})); // not even the length
    memset(buf, '?', sizeof buf);
    EXPECT_EQ(Cfile_ReadBlock(w, buf, 4), 0);
    EXPECT_EQ(std::string(buf, 4), std::string(4, '\0'));
}

TEST_F(CfileIo, OpeningAnOpenWrapperFails)
{
    std::string path = tmp.file("f.bin");
    ASSERT_EQ(Cfile_OpenWrite(w, path.c_str(), 0), 1);
    EXPECT_EQ(Cfile_OpenWrite(w, path.c_str(), 0), 0);
    EXPECT_EQ(Cfile_OpenRead(w, path.c_str()), 0);
    EXPECT_EQ(Cfile_Close(w), 1);
    EXPECT_EQ(Cfile_Close(w), 0);
    EXPECT_EQ(Cfile_OpenRead(w, tmp.file("nothing.bin").c_str()), 0);
    EXPECT_EQ(Cfile_OpenWrite(w, (tmp.path() + "/no/such/dir/f.bin").c_str(), 0), 0);
    EXPECT_EQ(Cfile_OpenWrite(w, (tmp.path() + "/" + std::string(300, 'n')).c_str(), 0), 0);
}

TEST_F(CfileIo, ModeMismatchFailsAndSticks)
{
    std::string path = tmp.file("t.txt");
    ASSERT_EQ(Cfile_OpenWrite(w, path.c_str(), 1), 1);
    EXPECT_EQ(Cfile_Printf(w, "Line %d\n", 1), 1);
    EXPECT_FALSE(Cfile_Failed(w));
    EXPECT_EQ(Cfile_WriteInt(w, 1), 0); // binary write on a text file
    EXPECT_TRUE(Cfile_Failed(w));
    EXPECT_EQ(Cfile_Close(w), 0);       // so the file isn't put in place
    EXPECT_FALSE(Fs_Exists(path.c_str()));

    ASSERT_EQ(Cfile_OpenWrite(w, path.c_str(), 1), 1);
    EXPECT_FALSE(Cfile_Failed(w)); // a new open starts clean
    EXPECT_EQ(Cfile_Printf(w, "Line %d\n", 2), 1);
    EXPECT_EQ(Cfile_Close(w), 1);
    EXPECT_EQ(tmp.read("t.txt"), "Line 2\n");
}

TEST_F(CfileIo, FailedWriteKeepsThePreviousFile)
{
    tmp.write("save.bin", "old");
    std::string path = tmp.file("save.bin");
    ASSERT_EQ(Cfile_OpenWrite(w, path.c_str(), 0), 1);
    EXPECT_EQ(Cfile_Write(w, "new", 3), 1);
    EXPECT_EQ(tmp.read("save.bin"), "old"); // nothing visible before the close
    EXPECT_EQ(Cfile_Printf(w, "text"), 0);  // a failed write spoils the file
    EXPECT_EQ(Cfile_Close(w), 0);
    EXPECT_EQ(tmp.read("save.bin"), "old");
    EXPECT_EQ(Fs_Exists((path + ".tmp" + std::to_string(getpid())).c_str()), 0);
}

// ---------------------------------------------------------------- Paths

TEST(MakePath, JoinsNonEmptyPartsWithSingleBackslashes)
{
    char out[UTILS_PATH];
    Utils_MakePath(out, "data", "", "aip", "plan", ".aip");
    EXPECT_STREQ(out, "data\\aip\\plan.aip");
    Utils_MakePath(out, "data\\", "\\aip/", nullptr, "plan", "aip");
    EXPECT_STREQ(out, "data\\aip/plan.aip");
    Utils_MakePath(out, "/home/q", "", "", "", "");
    EXPECT_STREQ(out, "/home/q");
    Utils_MakePath(out, "", "", "", "QUORVEX", ".scn");
    EXPECT_STREQ(out, "QUORVEX.scn");
    Utils_MakePath(out, "dir", "", "", "", ".scn");
    EXPECT_STREQ(out, "dir");
}

TEST(MakePath, NeverWritesPastTheBuffer)
{
    std::vector<char> out(UTILS_PATH + 8, '#');
    std::string longdir(200, 'd');
    EXPECT_EQ(Utils_MakePath(out.data(), longdir.c_str(), longdir.c_str(), "", "n", ""), 0);
    EXPECT_EQ(out[0], '\0');
    for (size_t i = UTILS_PATH; i < out.size(); i++) EXPECT_EQ(out[i], '#');

    char small[4];
    Str_CopySafe(small, "abcdef", sizeof small);
    EXPECT_STREQ(small, "abc");
    small[0] = 'x';
    Str_CopySafe(small, "abc", 0);
    EXPECT_EQ(small[0], 'x');
}

TEST(StrCompareNoCase, IgnoresTheCaseOfAsciiLettersOnly)
{
    struct Row {
        const char* a;
        const char* b;
        int sign;
    };
    const Row rows[] = {
        {"Data", "dATA", 0}, {"", "", 0},      {"abc", "ABD", -1}, {"b", "A", 1},
        {"ab", "AB c", -1},  {"[", "a", -1},   {"\xC4", "\xE4", -1},
    };
    for (const Row& row : rows) {
        int got = Str_CompareNoCase(row.a, row.b);
        EXPECT_EQ((got > 0) - (got < 0), row.sign) << row.a << " / " << row.b;
    }
}

TEST(BytesWriters, StoreAndAppendLowByteFirst)
{
    uint8_t at[6] = {9, 9, 9, 9, 9, 9};
    Bytes_PutU16(at, 0xFFFF1234u);
    Bytes_PutU32(at + 2, 0xA1B2C3D4u);
    EXPECT_EQ(std::string((const char*)at, 6), Bytes({0x34, 0x12, 0xD4, 0xC3, 0xB2, 0xA1}));
    std::string text;
    std::vector<uint8_t> bytes;
    Bytes_AppendU16(&text, 0x0102);
    Bytes_AppendU32(&text, 0x03040506);
    Bytes_AppendU16(&bytes, 0x0102);
    Bytes_AppendU32(&bytes, 0x03040506);
    EXPECT_EQ(text, Bytes({2, 1, 6, 5, 4, 3}));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), text);
    EXPECT_EQ(Bytes_U16((const uint8_t*)text.data()), 0x0102u);
    EXPECT_EQ(Bytes_U32((const uint8_t*)text.data() + 2), 0x03040506u);
}

class FsResolve : public testing::Test {
protected:
    QvTempDir tmp;
};

TEST_F(FsResolve, MatchesDirectoriesAndFilesWithoutRegardToCase)
{
    tmp.write("Data/Graphics/Tiles.PCX", "t");
    std::string base = tmp.path();
    EXPECT_EQ(Fs_Resolve((base + "\\data\\GRAPHICS\\tiles.pcx").c_str()),
              base + "/Data/Graphics/Tiles.PCX");
    // A name that matches nothing is kept, and so is everything after it.
    EXPECT_EQ(Fs_Resolve((base + "\\data\\New\\GRAPHICS").c_str()), base + "/Data/New/GRAPHICS");
    EXPECT_EQ(Fs_Resolve((base + "/data/./graphics/../GRAPHICS").c_str()),
              base + "/Data/./Graphics/../Graphics");

    std::string text;
    ASSERT_EQ(Fs_ReadAll((base + "\\DATA\\graphics\\TILES.pcx").c_str(), &text), 1);
    EXPECT_EQ(text, "t");
    EXPECT_EQ(Fs_IsDir((base + "\\data\\graphics").c_str()), 1);
    EXPECT_EQ(Fs_IsDir((base + "\\data\\graphics\\tiles.pcx").c_str()), 0);
}

TEST_F(FsResolve, PrefersTheExactNameThenTheFirstBytewise)
{
    tmp.write("dir/abc", "lower");
    tmp.write("dir/ABC", "upper");
    tmp.write("dir/Abc", "mixed");
    std::string base = tmp.path();
    EXPECT_EQ(Fs_Resolve((base + "/dir/Abc").c_str()), base + "/dir/Abc");
    EXPECT_EQ(Fs_Resolve((base + "/dir/aBC").c_str()), base + "/dir/ABC");
}

TEST_F(FsResolve, RelativePathsStartFromTheCurrentDirectory)
{
    QvTempDir here(true);
    here.write("Scen/Map.Txt", "m");
    EXPECT_EQ(Fs_Resolve("scen\\map.txt"), "Scen/Map.Txt");
    EXPECT_EQ(Fs_Exists("SCEN\\MAP.TXT"), 1);
}

class FsWriteAtomic : public testing::Test {
protected:
    QvTempDir tmp;
};

// The write lands in the file the path names: through links (the links stay),
// with the old file's permission bits.
TEST_F(FsWriteAtomic, ReplacesTheFileItNamesKeepingLinksAndPermissions)
{
    struct Row {
        const char* file;    // the real file, made first with mode (0: not made)
        mode_t mode;
        const char* links[2]; // each link names the next, the last names file
        const char* written; // the path given to the write
        mode_t want;         // the real file's mode afterwards
    };
    const mode_t fresh = 0666 & ~[] {
        mode_t m = umask(0);
        umask(m);
        return m;
    }();
    const Row rows[] = {
        {"a/cfg.txt", 0640, {nullptr, nullptr}, "a/CFG.TXT", 0640},
        {"b/cfg.txt", 0600, {"b/link.cfg", nullptr}, "b/link.cfg", 0600},
        {"c/real/cfg.txt", 0604, {"c/one", "c/two"}, "c/one", 0604},
        {"d/new.txt", 0, {"d/dangling", nullptr}, "d/dangling", fresh},
    };
    for (const Row& row : rows) {
        std::string file = tmp.file(row.file);
        std::string dir = file.substr(0, file.rfind('/'));
        tmp.write(std::string(row.file) + ".keep", "");
        if (row.mode) {
            tmp.write(row.file, "old contents");
            chmod(file.c_str(), row.mode);
        }
        // Relative links, as a person makes them, each to the next.
        std::vector<std::string> chain;
        for (const char* l : row.links)
            if (l) chain.push_back(tmp.file(l));
        chain.push_back(file);
        for (size_t i = 0; i + 1 < chain.size(); i++) {
            std::string from = chain[i].substr(0, chain[i].rfind('/') + 1);
            std::string to = chain[i + 1].substr(0, from.size()) == from
                                 ? chain[i + 1].substr(from.size())
                                 : chain[i + 1];
            ASSERT_EQ(symlink(to.c_str(), chain[i].c_str()), 0);
        }
        ASSERT_EQ(Fs_WriteAtomic(tmp.file(row.written).c_str(), "new", 3), 1) << row.file;
        EXPECT_EQ(tmp.read(row.file), "new") << row.file;
        struct stat st;
        ASSERT_EQ(stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, row.want) << row.file;
        for (size_t i = 0; i + 1 < chain.size(); i++) {
            ASSERT_EQ(lstat(chain[i].c_str(), &st), 0);
            EXPECT_TRUE(S_ISLNK(st.st_mode)) << chain[i];
        }
    }
}

TEST_F(FsWriteAtomic, FailedWriteLeavesTheOldFile)
{
    // A loop of links names no file.
    ASSERT_EQ(symlink("loop2", tmp.file("loop1").c_str()), 0);
    ASSERT_EQ(symlink("loop1", tmp.file("loop2").c_str()), 0);
    EXPECT_EQ(Fs_WriteAtomic(tmp.file("loop1").c_str(), "new", 3), 0);

    tmp.write("cfg.txt", "old");
    std::string blocker = tmp.file("cfg.txt") + ".tmp" + std::to_string(getpid());
    ASSERT_EQ(mkdir(blocker.c_str(), 0755), 0);
    EXPECT_EQ(Fs_WriteAtomic(tmp.file("cfg.txt").c_str(), "new", 3), 0);
    EXPECT_EQ(tmp.read("cfg.txt"), "old");
    EXPECT_EQ(Fs_IsDir(blocker.c_str()), 1); // what was in the way is left alone

    EXPECT_EQ(Fs_WriteAtomic(tmp.file("no/such/dir/cfg.txt").c_str(), "new", 3), 0);
}

TEST(FindDataFile, TriesTheScenarioFolderThenThePlans)
{
    QvTempDir tmp;
    tmp.write("scen/local.aip", "s");
    tmp.write("aip/local.aip", "a");
    tmp.write("aip/shared.aip", "a");
    char savedScen[GAME_PATH], savedAip[GAME_PATH];
    Str_CopySafe(savedScen, g_ScenarioDir, sizeof savedScen);
    Str_CopySafe(savedAip, g_AipDir, sizeof savedAip);
    Str_CopySafe(g_ScenarioDir, tmp.file("scen").c_str(), GAME_PATH);
    Str_CopySafe(g_AipDir, tmp.file("aip").c_str(), GAME_PATH);

    char out[UTILS_PATH];
    EXPECT_EQ(Utils_FindDataFile(out, "local.aip"), 1);
    EXPECT_EQ(std::string(out), tmp.file("scen") + "\\local.aip");
    EXPECT_EQ(Utils_FindDataFile(out, "SHARED.AIP"), 1);
    EXPECT_EQ(std::string(out), tmp.file("aip") + "\\SHARED.AIP");
    EXPECT_EQ(Utils_FindDataFile(out, "none.aip"), 0);
    EXPECT_STREQ(out, "");

    Str_CopySafe(g_ScenarioDir, savedScen, GAME_PATH);
    Str_CopySafe(g_AipDir, savedAip, GAME_PATH);
}

// ---------------------------------------------------------------- DeleteTree

class DeleteTree : public testing::Test {
protected:
    void SetUp() override
    {
        oldMask = Tlog_GetMask();
        oldOptions = Tlog_GetOptions();
        oldFile = Tlog_GetFile();
        Tlog_SetMask(TLOG_ERROR | TLOG_WARNING);
        Tlog_SetOptions(0);
        Tlog_SetFile(logdir.file("trace.log").c_str());
    }
    void TearDown() override
    {
        Tlog_SetFile(oldFile.c_str());
        Tlog_SetMask(oldMask);
        Tlog_SetOptions(oldOptions);
    }
    std::string Log() const { return logdir.read("trace.log"); }

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

    QvTempDir tmp, logdir;
    unsigned oldMask = 0, oldOptions = 0;
    std::string oldFile;
};

TEST_F(DeleteTree, RemovesANestedTreeAndNotWhatLinksPointAt)
{
    tmp.write("tree/a/b/c/deep.txt", "x");
    tmp.write("tree/a/file.txt", "x");
    tmp.write("tree/top.txt", "x");
    tmp.write("outside/keep.txt", "keep");
    ASSERT_EQ(symlink(tmp.file("outside").c_str(), tmp.file("tree/a/link").c_str()), 0);

    EXPECT_EQ(Utils_DeleteTree(tmp.file("TREE").c_str()), 1);
    EXPECT_FALSE(Fs_Exists(tmp.file("tree").c_str()));
    EXPECT_EQ(tmp.read("outside/keep.txt"), "keep");
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(Utils_DeleteTree(tmp.file("tree").c_str()), 1); // already gone
    EXPECT_EQ(Utils_DeleteTree("/"), 0);
}

TEST_F(DeleteTree, LogsWhatItCannotRemoveAndGoesOn)
{
    tmp.write("tree/a/stuck.txt", "x");
    tmp.write("tree/a/z.txt", "x");
    tmp.write("tree/b/gone.txt", "x");
    std::string stuck = tmp.file("tree/a/stuck.txt");
    if (!SetImmutable(stuck, true)) GTEST_SKIP() << "no immutable flag on this file system";

    EXPECT_EQ(Utils_DeleteTree(tmp.file("tree").c_str()), 0);
    SetImmutable(stuck, false);

    EXPECT_TRUE(Fs_Exists(stuck.c_str()));
    EXPECT_FALSE(Fs_Exists(tmp.file("tree/a/z.txt").c_str()));
    EXPECT_FALSE(Fs_Exists(tmp.file("tree/b").c_str()));
    std::string log = Log();
    EXPECT_NE(log.find("Cannot remove file: " + stuck), std::string::npos) << log;
    EXPECT_NE(log.find("Cannot remove directory: " + tmp.file("tree/a")), std::string::npos) << log;
    EXPECT_NE(log.find("Cannot remove directory: " + tmp.file("tree") + "\n"), std::string::npos)
        << log;
}
