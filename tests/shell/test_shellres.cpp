#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/debug.h"
#include "gen_shellres.h"
#include "shell/shellres.h"
#include "support/testsupport.h"

using Bytes = std::vector<uint8_t>;
using Chunks = std::vector<std::pair<uint32_t, Bytes>>;

static std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

static Bytes Pixl(uint16_t w, uint16_t h, size_t pixels)
{
    Bytes b(8 + pixels, 7);
    Bytes_PutU16(&b[4], w);
    Bytes_PutU16(&b[6], h);
    return b;
}

// A library of resources written to a temporary directory and mapped.
class ShellLibrary : public ::testing::Test {
protected:
    QvTempDir dir;
    void TearDown() override { Shell_UnmapResourceLibrary(); }
    void Map(const Bytes& index, const Bytes& data)
    {
        dir.write("shell.rli", Str(index));
        dir.write("shell.rld", Str(data));
        Shell_MapResourceLibrary(dir.file("shell.rli").c_str());
    }
    void MapResources(const std::vector<MKSHELLRES>& res)
    {
        Bytes index, data;
        Mkdata_ShellLibrary(res, &index, &data);
        Map(index, data);
    }
    static MKSHELLRES Res(const char* name, uint32_t type, Chunks chunks)
    {
        return MKSHELLRES{name, type, Mkdata_ShellContainer(SHELLRES_FLT, chunks)};
    }
};

TEST_F(ShellLibrary, LooksUpByExactNameAndTypeFirstInIndexOrder)
{
    MapResources({Res("main", SHELLRES_FLT, {{1, {1}}}), Res("main", SHELLRES_FLT, {{2, {2}}}),
                  Res("Main", SHELLRES_FLT, {{3, {3}}}), Res("other", SHELLRES_PIXL, {{4, {4}}}),
                  Res("elevenchars", SHELLRES_FLT, {{5, {5}}})});
    struct Row {
        const char* what;
        const char* name;
        uint32_t type;
        uint32_t firstTag; // 0: not found
    } rows[] = {
        {"the earlier of two equal entries", "main", SHELLRES_FLT, 1},
        {"case makes another resource", "Main", SHELLRES_FLT, 3},
        {"case-different name absent", "MAIN", SHELLRES_FLT, 0},
        {"wrong type", "other", SHELLRES_FLT, 0},
        {"its own type", "other", SHELLRES_PIXL, 4},
        {"a prefix is another name", "mai", SHELLRES_FLT, 0},
        {"eleven characters", "elevenchars", SHELLRES_FLT, 5},
        {"longer than a name can be", "elevencharsX", SHELLRES_FLT, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(Shell_FindResourceEntry(r.name, r.type, nullptr), r.firstTag != 0);
        uint8_t* res = (uint8_t*)Shell_LoadResource(r.name, r.type, nullptr);
        ASSERT_EQ(res != nullptr, r.firstTag != 0);
        if (res) {
            EXPECT_EQ(Bytes_U32(res + 8), r.firstTag);
            Debug_Free(&res);
        }
    }
}

TEST_F(ShellLibrary, UnmappedEmptyOrOvercountedIndexFindsNothing)
{
    EXPECT_FALSE(Shell_FindResourceEntry("main", SHELLRES_FLT, nullptr)) << "never mapped";
    EXPECT_EQ(Shell_LoadResource("main", SHELLRES_FLT, nullptr), nullptr);

    Bytes index, data;
    Mkdata_ShellLibrary({Res("main", SHELLRES_FLT, {{1, {1}}})}, &index, &data);
    Bytes empty = index;
    Bytes_PutU32(&empty[8], 0);
    Map(empty, data);
    EXPECT_FALSE(Shell_FindResourceEntry("main", SHELLRES_FLT, nullptr)) << "0 entries";

    Bytes over = index;
    Bytes_PutU32(&over[8], 2); // one entry's bytes, two counted
    Map(over, data);
    EXPECT_FALSE(Shell_FindResourceEntry("main", SHELLRES_FLT, nullptr));
    Bytes_PutU32(&over[8], 0x80000000u); // count x 32 wraps in 32 bits
    Map(over, data);
    EXPECT_FALSE(Shell_FindResourceEntry("main", SHELLRES_FLT, nullptr));

    Map(Bytes(index.begin(), index.begin() + 10), data); // shorter than its header
    EXPECT_FALSE(Shell_FindResourceEntry("main", SHELLRES_FLT, nullptr));

    Map(index, Bytes()); // an empty data file can't be mapped
    EXPECT_TRUE(Shell_FindResourceEntry("main", SHELLRES_FLT, nullptr));
    EXPECT_FALSE(Shell_ResourceLibraryMapped());
    EXPECT_EQ(Shell_LoadResource("main", SHELLRES_FLT, nullptr), nullptr);

    Shell_UnmapResourceLibrary();
    EXPECT_FALSE(Shell_FindResourceEntry("main", SHELLRES_FLT, nullptr)) << "unmapped again";
}

TEST_F(ShellLibrary, ResourcesWhoseSizesDontFitAreMissing)
{
    Bytes container = Mkdata_ShellContainer(SHELLRES_FLT, {{1, Bytes(20, 1)}});
    // Each row damages the entry (packed from the content) or the content.
    struct Row {
        const char* what;
        void (*entry)(uint8_t* e);
        void (*content)(Bytes& c);
        bool loads;
    } rows[] = {
        {"intact", nullptr, nullptr, true},
        {"stream past the data file", [](uint8_t* e) { Bytes_PutU32(e + 24, Bytes_U32(e + 24) + 1); }, nullptr, false},
        {"offset past the data file", [](uint8_t* e) { Bytes_PutU32(e + 20, 0xFFFFFFF0u); }, nullptr, false},
        {"unpacked size beyond what the stream can give",
         [](uint8_t* e) { Bytes_PutU32(e + 28, 0xFFFFFFFFu); }, nullptr, false},
        {"unpacked size below a container header", [](uint8_t* e) { Bytes_PutU32(e + 28, 7); }, nullptr, false},
        {"container larger than the bytes unpacked", nullptr,
         [](Bytes& c) { Bytes_PutU32(&c[4], (uint32_t)c.size() + 1); }, false},
        {"container size below its header", nullptr, [](Bytes& c) { Bytes_PutU32(&c[4], 7); }, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Bytes content = container, index, data;
        if (r.content) r.content(content);
        Mkdata_ShellLibrary({MKSHELLRES{"res", SHELLRES_FLT, content}}, &index, &data);
        if (r.entry) r.entry(&index[12]);
        Map(index, data);
        long blocks = Debug_LiveBlocks();
        void* res = Shell_LoadResource("res", SHELLRES_FLT, nullptr);
        EXPECT_EQ(res != nullptr, r.loads);
        Debug_Free(&res);
        EXPECT_EQ(Debug_LiveBlocks(), blocks);
    }
}

TEST(ShellChunks, WalkStopsAtSizesThatDontFitAndChecksPalettesAndPictures)
{
    struct Row {
        const char* what;
        Chunks chunks;
        uint32_t container; // container size; 0: as built
        uint32_t tag;
        bool found;
    } rows[] = {
        {"palette after a picture", {{SHELLRES_PIXL, Pixl(4, 2, 8)}, {SHELLRES_RGB3, Bytes(768)}}, 0, SHELLRES_RGB3, true},
        {"picture first", {{SHELLRES_PIXL, Pixl(4, 2, 8)}}, 0, SHELLRES_PIXL, true},
        {"absent tag", {{SHELLRES_PIXL, Pixl(4, 2, 8)}}, 0, SHELLRES_RGB3, false},
        {"short palette", {{SHELLRES_RGB3, Bytes(767)}}, 0, SHELLRES_RGB3, false},
        {"picture short of width x height", {{SHELLRES_PIXL, Pixl(4, 2, 7)}}, 0, SHELLRES_PIXL, false},
        {"picture of 65535 x 65535", {{SHELLRES_PIXL, Pixl(65535, 65535, 8)}}, 0, SHELLRES_PIXL, false},
        {"picture without its header", {{SHELLRES_PIXL, Bytes(7)}}, 0, SHELLRES_PIXL, false},
        {"chunk beyond the container", {{1, Bytes(8)}, {2, Bytes(8)}}, 8 + 16 + 15, 2, false},
        {"container cut inside a chunk header", {{1, Bytes(8)}, {2, Bytes(0)}}, 8 + 16 + 4, 2, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Bytes c = Mkdata_ShellContainer(SHELLRES_FLT, r.chunks);
        if (r.container) Bytes_PutU32(&c[4], r.container);
        EXPECT_EQ(Shell_FindChunk(c.data(), r.tag) != nullptr, r.found);
    }
    Bytes c = Mkdata_ShellContainer(SHELLRES_FLT, {{1, Bytes(4)}, {2, Bytes(4)}});
    Bytes_PutU32(&c[12], 7); // a sub-chunk below its own header ends the walk
    EXPECT_EQ(Shell_FindChunk(c.data(), 2), nullptr);
    EXPECT_EQ(Shell_FindChunk(nullptr, 2), nullptr);
}

TEST(ShellUnpack, DecodesLiteralsAndReferencesAndStopsSafely)
{
    struct Row {
        const char* what;
        Bytes packed;
        size_t capacity;
        Bytes expected;
    } rows[] = {
        {"empty stream", {}, 16, {}},
        {"literals only", {0xFF, 1, 2, 3, 4, 5, 6, 7, 8, 0x01, 9}, 16, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"0xFF 0xFF repeats the last byte 18 times", {0x01, 'a', 0xFF, 0xFF}, 32, Bytes(19, 'a')},
        {"0xFF 0xF0 reaches 3841 back, before the start", {0x01, 'a', 0xFF, 0xF0}, 32, {'a'}},
        {"reference of 3 from two back", {0x03, 'a', 'b', 0xFE, 0x0F}, 32, {'a', 'b', 'a', 'b', 'a'}},
        {"reference before any output", {0x00, 0xFF, 0xFF}, 32, {}},
        {"stream ends inside a group", {0x07, 1, 2}, 32, {1, 2}},
        {"flag byte alone", {0xFF}, 32, {}},
        {"reference cut off by the end", {0x01, 'a', 0xFF}, 32, {'a'}},
        {"capacity inside a literal run", {0xFF, 1, 2, 3, 4}, 2, {1, 2}},
        {"capacity inside a reference", {0x01, 'a', 0xFF, 0xFF}, 5, Bytes(5, 'a')},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Bytes out(r.capacity + 4, 0xEE);
        size_t n = Shell_Unpack(r.packed.data(), r.packed.size(), out.data(), r.capacity);
        EXPECT_EQ(Bytes(out.begin(), out.begin() + n), r.expected);
        EXPECT_EQ(out[r.capacity], 0xEE) << "wrote past its capacity";
    }
}

TEST(ShellUnpack, ReadsWhatMkdatasPackerWrites)
{
    std::map<std::string, Bytes> inputs;
    inputs["empty"] = {};
    inputs["one byte"] = {42};
    inputs["runs"] = Bytes(10000, 3);
    Bytes mixed;
    uint32_t x = 12345;
    for (int i = 0; i < 20000; i++) {
        x = x * 1103515245u + 12345u;
        mixed.push_back(i % 300 < 150 ? (uint8_t)(x >> 24) : (uint8_t)(i % 7));
    }
    inputs["noise and patterns beyond the window"] = mixed;
    for (const auto& [what, data] : inputs) {
        SCOPED_TRACE(what);
        Bytes packed = Mkdata_ShellPack(data.data(), data.size());
        Bytes out(data.size() + 1);
        EXPECT_EQ(Shell_Unpack(packed.data(), packed.size(), out.data(), out.size()), data.size());
        EXPECT_EQ(Bytes(out.begin(), out.begin() + data.size()), data);
    }
    Bytes runs = Mkdata_ShellPack(inputs["runs"].data(), 10000);
    EXPECT_LT(runs.size(), 10000u / 8);
}

static void Collect(const char* name, void* parameter, int flag)
{
    ((std::vector<std::string>*)parameter)->push_back(std::string(name) + ":" + std::to_string(flag));
}

TEST(ShellFiles, WalksMatchingEntriesCaseBlindInNameOrder)
{
    QvTempDir dir;
    dir.write("Saves/b.SAV", "x");
    dir.write("Saves/a.sav", "x");
    dir.write("Saves/noext", "x");
    dir.write("Saves/Sub/x", "x");
    struct Row {
        const char* what;
        std::string pattern;
        std::vector<std::string> names;
    } rows[] = {
        {"*.* takes names without a dot", dir.path() + "/SAVES\\*.*",
         {".:16", "..:16", "Sub:16", "a.sav:0", "b.SAV:0", "noext:0"}},
        {"case-blind extension", dir.path() + "/saves\\*.sav", {"a.sav:0", "b.SAV:0"}},
        {"question mark", dir.path() + "/saves\\?.SAV", {"a.sav:0", "b.SAV:0"}},
        {"nothing matches", dir.path() + "/saves\\*.scn", {"INVALID DIRECTORY:16"}},
        {"no such directory", dir.path() + "/none\\*.*", {"INVALID DIRECTORY:16"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        std::vector<std::string> got;
        Shell_ForEachFile(Collect, r.pattern.c_str(), &got);
        EXPECT_EQ(got, r.names);
    }
}
