// The save registry: ids in address order, slot conversion both ways, the
// two tree modes, the pointer pool and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "save/save.h"
#include "save/saveblk.h"
#include "save/saveptr.h"
#include "save/savetype.h"
#include "core/tlog.h"
#include "support/testsupport.h"

namespace {

class SaveRegistry : public ::testing::Test {
protected:
    void SetUp() override
    {
        Save_Init();
        Save_TypeResetCounts();
        SavePtr_Reset();
        Saveblk_Init();
    }
    void TearDown() override
    {
        Saveblk_Close();
        SavePtr_Close();
        Save_Init();
    }
    // Converts every registered slot as a save does, returning the converted
    // values in registration order.
    std::vector<uint64_t> convertAll()
    {
        std::vector<uint64_t> out;
        Saveblk_AssignIds();
        for (SAVEPOINTER* p = SavePtr_First(); p; p = SavePtr_Next()) {
            uint64_t v = p->value;
            p->flags |= SAVEPTR_CONVERTING;
            Saveblk_PtrToId(&v, p);
            out.push_back(v);
        }
        return out;
    }
};

TEST_F(SaveRegistry, IdsFollowAddressOrderWhateverTheRegistrationOrder)
{
    uint32_t words[4];
    for (int i = 3; i >= 0; i--) Save_RegisterBlock(SAVEK_GLOBAL, &words[i], ST_ULONG, 4);
    Saveblk_AssignIds();
    int i = 0;
    for (SAVEBLOCK* b = Saveblk_FirstGlobal(); b; b = Saveblk_Next(), i++) {
        EXPECT_EQ(b->data, &words[3 - i]);
        EXPECT_EQ(b->id, SaveId_Make(ST_ULONG, SAVEID_FIRSTSEQ + 3 - i));
    }
    EXPECT_EQ(Saveblk_Count(), 4u);
    EXPECT_EQ(Saveblk_GlobalCount(), 4u);
}

TEST_F(SaveRegistry, SlotsConvertToIdsAsTheMendedRulesSay)
{
    struct {
        uint32_t data[8];
    } unitA{}, unitB{};
    Save_RegisterBlock(SAVEK_LOCAL, &unitA, ST_UNIT, sizeof unitA);
    Save_RegisterBlock(SAVEK_LOCAL, &unitB, ST_UNIT, sizeof unitB);
    void* slots[7] = {};
    QvLogCapture log;
    struct Row {
        const char* name;
        const void* value;
        int valid;
        uint64_t expect;  // 1 and 2 stand for the ids of unitA and unitB
    } rows[] = {
        {"null", nullptr, 1, SaveSlot_FromId(SAVEID_NULL)},
        {"block start", &unitB, 1, 2},
        {"other block", &unitA, 1, 1},
        {"middle of a block", &unitA.data[2], 1, SaveSlot_FromId(SAVEID_NULL)},
        {"second stray", &unitB.data[3], 1, SaveSlot_FromId(SAVEID_NULL)},
        {"sentinel", (const void*)(uintptr_t)SAVE_SENTINEL, 1, SAVE_SENTINEL},
        {"stale weak handle", &unitA, 0, SaveSlot_FromId(SAVEID_NULL)},
    };
    for (int i = 0; i < 7; i++)
        Save_RegisterWeakPointer(&slots[i], rows[i].value, rows[i].valid, ST_UNIT, "u->next");
    std::vector<uint64_t> got = convertAll();
    uint32_t ida = Saveblk_FindByAddress(&unitA)->id, idb = Saveblk_FindByAddress(&unitB)->id;
    for (int i = 0; i < 7; i++) {
        uint64_t want = rows[i].expect == 1   ? SaveSlot_FromId(ida)
                        : rows[i].expect == 2 ? SaveSlot_FromId(idb)
                                              : rows[i].expect;
        EXPECT_EQ(got[i], want) << rows[i].name;
    }
    EXPECT_EQ(Save_TypeMissing(ST_UNIT), 2u);
    std::string text = log.text();
    size_t first = text.find("Can't find pointer (");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(text.find("Can't find pointer (", first + 1), std::string::npos) << "logged once per type";
    EXPECT_NE(text.find("Pointer already an ID? (FFFFFFFF) Type=-1(Unknown Type)"), std::string::npos);
}

TEST_F(SaveRegistry, LoadedIdsBecomeTheNewBlocksAddressesOrRefuse)
{
    uint8_t unit[16], type[16];
    auto loaded = [](void* data, int t, uint32_t seq) {
        SAVEBLOCK* b = Saveblk_NewRecord();
        b->data = data;
        b->flags = (uint32_t)t << SAVEBLK_TYPESHIFT | 16;
        b->id = SaveId_Make(t, seq);
        Saveblk_AddLoaded(b);
    };
    loaded(unit, ST_UNIT, 7);
    loaded(type, ST_UNITTYPE, 4);
    struct Row {
        const char* name;
        uint64_t value;
        int fieldtype;
        int ok;
        uint64_t expect;
        const char* log;
    } rows[] = {
        {"unit id", SaveSlot_FromId(SaveId_Make(ST_UNIT, 7)), ST_UNIT, 1, (uintptr_t)unit, ""},
        {"null id", SaveSlot_FromId(SAVEID_NULL), ST_UNIT, 1, 0, ""},
        {"sentinel", SAVE_SENTINEL, ST_BUILDING, 1, SAVE_SENTINEL, ""},
        {"not an id", (uintptr_t)unit, ST_UNIT, 0, (uintptr_t)unit, "ID already a Pointer?"},
        {"unknown id", SaveSlot_FromId(SaveId_Make(ST_UNIT, 9)), ST_UNIT, 0, 0,
         "Can't find ID (F2000009) Type=32(UNIT)"},
        {"id bits of another type", SaveSlot_FromId(SaveId_Make(ST_UNITTYPE, 7)), ST_UNITTYPE, 0, 0,
         "Id (F2400007) type different. Got=32(UNIT) Passed=36(UNITTYPE)"},
        {"block of another type than the field", SaveSlot_FromId(SaveId_Make(ST_UNITTYPE, 4)), ST_UNIT,
         0, 0, "type different. Got=36(UNITTYPE) Passed=32(UNIT)"},
        {"low word marker missing", SAVE_SLOTIDHIGH | 0x12345678u, ST_UNIT, 0, 0, "ID already a Pointer?"},
    };
    for (const Row& r : rows) {
        QvLogCapture log;
        SAVEPOINTER p{&p, 0, (uint32_t)r.fieldtype, "u->next", 0};
        uint64_t v = r.value;
        EXPECT_EQ(Saveblk_IdToPtr(&v, &p), r.ok) << r.name;
        EXPECT_EQ(v, r.ok ? r.expect : r.value) << r.name << ": refused slots stay";
        EXPECT_NE(log.text().find(r.log), std::string::npos) << r.name << ": " << log.text();
    }
}

TEST_F(SaveRegistry, IdTreeKeepsEqualSequencesAndFindsEach)
{
    static uint8_t data[2000];
    for (uint32_t i = 0; i < 1000; i++) {
        SAVEBLOCK* b = Saveblk_NewRecord();
        b->data = &data[i];
        b->id = SaveId_Make(ST_ULONG, 3 + (i * 7919) % 1000);
        Saveblk_AddLoaded(b);
    }
    SAVEBLOCK* twin = Saveblk_NewRecord();
    twin->data = &data[1500];
    twin->id = SaveId_Make(ST_ULONG, 500);
    Saveblk_AddLoaded(twin);
    EXPECT_EQ(Saveblk_Count(), 1001u);
    for (uint32_t s = 3; s < 1003; s++) {
        SAVEBLOCK* b = Saveblk_FindById(SaveId_Make(ST_ULONG, s));
        ASSERT_NE(b, nullptr) << s;
        EXPECT_EQ(SaveId_Seq(b->id), s);
    }
    EXPECT_EQ(Saveblk_FindById(SaveId_Make(ST_ULONG, 2000)), nullptr);
}

TEST_F(SaveRegistry, AscendingInsertsKeepTheTreeBalanced)
{
    const int n = 100000;
    std::vector<uint8_t> bytes(n);
    for (int i = 0; i < n; i++) Save_RegisterBlock(SAVEK_LOCAL, &bytes[i], ST_NONE, 1);
    EXPECT_LE(Saveblk_Depth(), (uint32_t)(2 * std::log2(n + 1.0)));
    Saveblk_AssignIds();
    EXPECT_EQ(SaveId_Seq(Saveblk_FindByAddress(&bytes[n - 1])->id), (uint32_t)(n + 2));
    EXPECT_EQ(Saveblk_FindByAddress(&bytes[n / 2])->data, &bytes[n / 2]);
}

TEST_F(SaveRegistry, ListingsOfTwiceRegisteredBlocks)
{
    uint32_t g, l1, l2;
    for (int listonly = 0; listonly < 2; listonly++) {
        SCOPED_TRACE(listonly ? "listing only" : "saving");
        Saveblk_Close();
        Saveblk_Init();
        g_SaveFlags = listonly ? SAVEF_LISTONLY : SAVEF_LIVE;
        Save_RegisterBlock(SAVEK_GLOBAL, &g, ST_ULONG, 4);
        Save_RegisterBlock(SAVEK_GLOBAL, &g, ST_ULONG, 4);
        Save_RegisterBlock(SAVEK_LOCAL, &l1, ST_ULONG, 4);
        Save_RegisterBlock(SAVEK_LOCAL, &l2, ST_ULONG, 4);
        Save_RegisterBlock(SAVEK_LOCAL, &l1, ST_ULONG, 4);
        EXPECT_EQ(Saveblk_GlobalCount(), 2u) << "both global records are written";
        EXPECT_EQ(Saveblk_Count(), 4u) << "a local is listed once";
        EXPECT_EQ(Saveblk_FindByAddress(&g) != nullptr, !listonly) << "no tree while listing";
        // Many more, each registered again after all of them.
        static uint8_t bytes[3000];
        for (int pass = 0; pass < 2; pass++)
            for (uint8_t& b : bytes) Save_RegisterBlock(SAVEK_LOCAL, &b, ST_NONE, 1);
        EXPECT_EQ(Saveblk_Count(), 4u + 3000u);
        EXPECT_EQ(Saveblk_Repeats(), 1u + 3000u);
        uint32_t n = 0;
        for (SAVEBLOCK* b = Saveblk_FirstLocal(); b; b = Saveblk_Next(), n++)
            ASSERT_EQ(b->data, n < 2 ? (void*)(n ? &l2 : &l1) : &bytes[n - 2]) << "listed once, in order";
        EXPECT_EQ(n, 3002u);
    }
}

TEST_F(SaveRegistry, PointerPoolGrowsByChunksAndListingRecordsNothing)
{
    static void* slots[600];
    g_SaveFlags = SAVEF_LISTONLY;
    Save_RegisterPointer(&slots[0], nullptr, ST_UNIT, "x");
    EXPECT_EQ(SavePtr_Count(), 0u);
    g_SaveFlags = SAVEF_LIVE;
    for (int i = 0; i < 257; i++) Save_RegisterPointer(&slots[i], &slots[i + 1], ST_UNIT, "x");
    QvLogCapture log(TLOG_SAVE);
    SavePtr_Stats();
    EXPECT_NE(log.text().find("- Memory: Ptrs: 257 (2) "), std::string::npos) << log.text();
    int n = 0;
    for (SAVEPOINTER* p = SavePtr_First(); p; p = SavePtr_Next(), n++) ASSERT_EQ(p->slot, &slots[n]);
    EXPECT_EQ(n, 257);
}

TEST_F(SaveRegistry, OversizedBlocksAndTooManyBlocksRefuseTheSave)
{
    static uint8_t big[SAVE_MAX_BLOCKSIZE + 1];
    Save_RegisterBlock(SAVEK_GLOBAL, big, ST_NONE, SAVE_MAX_BLOCKSIZE);
    EXPECT_EQ(Saveblk_Refusal(), nullptr);
    Save_RegisterBlock(SAVEK_GLOBAL, big, ST_NONE, SAVE_MAX_BLOCKSIZE + 1);
    EXPECT_STREQ(Saveblk_Refusal(), "a block over 0xFFFFF bytes");

    Saveblk_Close();
    Saveblk_Init();
    for (uint32_t i = 0; i < SAVE_MAX_BLOCKS; i++) Save_RegisterBlock(SAVEK_LOCAL, &big[i], ST_NONE, 1);
    EXPECT_EQ(Saveblk_Refusal(), nullptr);
    Saveblk_AssignIds();
    EXPECT_EQ(SaveId_Seq(Saveblk_FindByAddress(&big[SAVE_MAX_BLOCKS - 1])->id), SAVEID_SEQMASK);
    Save_RegisterBlock(SAVEK_LOCAL, &big[SAVE_MAX_BLOCKS], ST_NONE, 1);
    EXPECT_STREQ(Saveblk_Refusal(), "more blocks than save ids");
    EXPECT_EQ(Saveblk_Count(), SAVE_MAX_BLOCKS);
}

using SaveRegistryDeathTest = SaveRegistry;

TEST_F(SaveRegistryDeathTest, LiveSlotOfIdFormOrNullSlotIsFatal)
{
    void* slot;
    EXPECT_EXIT(Save_RegisterPointer(&slot, (const void*)(uintptr_t)SaveSlot_FromId(0xF0000005u), ST_UNIT, "u->next"),
                testing::ExitedWithCode(1), "Strange pointer: F0000005 Type=32\\(UNIT\\)");
    EXPECT_EXIT(Save_RegisterPointer(nullptr, nullptr, ST_UNIT, "u->next"), testing::ExitedWithCode(1),
                "Null Pointer");
}

TEST(SaveWordList, ReadsWordsUpToMaxAndCutsLongOnes)
{
    QvTempDir dir;
    std::string longword(200, 'w');
    dir.write("words.txt", "alpha  beta\n\tgamma " + longword + " delta\n");
    struct Row {
        const char* name;
        std::string path;
        int max, count;
    } rows[] = {
        {"all", dir.file("words.txt"), 10, 5},
        {"stops at max", dir.file("words.txt"), 2, 2},
        {"missing file", dir.file("none.txt"), 10, 0},
    };
    for (const Row& r : rows) {
        char* words[10] = {};
        int count = -1;
        WordList_ReadFile(r.path.c_str(), &count, words, r.max);
        EXPECT_EQ(count, r.count) << r.name;
        if (count >= 2) {
            EXPECT_STREQ(words[1], "beta");
        }
        if (count == 5) {
            EXPECT_EQ(std::string(words[3]), longword.substr(0, 127));
        }
        WordList_Free(count, words);
        for (char* w : words) EXPECT_EQ(w, nullptr);
    }
}

} // namespace
