// Seeds for the order codec's fuzz target: order recordings made with the
// engine's own codec (a few updates of ordinary orders, and a selection long
// enough to be split over several entries) and a bare stream of entries.
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>

#include "mkdata.h"
#include "units/orders.h"

// Appends the entries of node (several for a long selection) and frees it;
// the number of entries.
static int PackNode(std::string* out, ORDERREC* node)
{
    uint8_t buf[ORDER_ENTRY_HEADER + 4 * ORDER_MAXSELECTION];
    int whole = 0, entries = 0;
    while (!whole) {
        size_t used = Orders_PackEntry(node, buf, sizeof buf, &whole);
        if (used == 0) break;
        out->append((const char*)buf, used);
        entries++;
    }
    Orders_FreeNode(node);
    return entries;
}

static ORDERREC* Node(int code, int length, int team, uint8_t fill)
{
    ORDERREC* n = Orders_NewNode(code, length, team);
    for (int i = 0; i < length; i++) n->payload[i] = (uint8_t)(fill + i);
    return n;
}

static void PutRecord(std::string* out, uint32_t update, int count, const std::string& entries)
{
    for (int b = 0; b < 4; b++) out->push_back((char)(update >> (8 * b)));
    out->push_back((char)count);
    out->push_back((char)(count >> 8));
    out->append(entries);
}

static int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_orders") return 1;
    std::string rec, entries;
    int count = PackNode(&entries, Node(QMOVE, 6, 0, 1));
    count += PackNode(&entries, Node(QGIVECREDITS, 8, 0, 2));
    PutRecord(&rec, 3, count, entries);
    entries.clear();
    ORDERREC* sel = Orders_NewNode(QADDSELECTED, ORDER_PAYLOAD, 2);
    for (int i = 0; i < 300; i++) Units_ListAppend(&sel->list, nullptr, 100 + i);
    count = PackNode(&entries, Orders_NewNode(QCLEARSELECTED, 0, 2));
    count += PackNode(&entries, sel);
    count += PackNode(&entries, Node(QTACTICALAI, 12, 2, 0));
    PutRecord(&rec, 9, count, entries);
    std::string stream;
    PackNode(&stream, Node(QSPY, 12, 7, 40));
    PackNode(&stream, Node(QSAVEGAME, 0, 8, 0));
    // Unit orders for the fuzz world's team 0 (ids 1..4) against team 1 (5..8).
    std::string units;
    ORDERREC* mine = Orders_NewNode(QADDSELECTED, ORDER_PAYLOAD, 0);
    for (int id = 1; id <= 4; id++) Units_ListAppend(&mine->list, nullptr, id);
    PackNode(&units, mine);
    const uint8_t move[] = {1, 0, 12, 0, 9, 0}, fire[] = {5, 0, 0, 0, 2}, roam[] = {2};
    for (auto [code, bytes, n] : {std::tuple{QMOVE, move, 6}, std::tuple{QFIREATUNIT, fire, 5},
                                  std::tuple{QAUTOMOVEON, roam, 1}}) {
        ORDERREC* o = Orders_NewNode(code, n, 0);
        memcpy(o->payload, bytes, (size_t)n);
        PackNode(&units, o);
    }
    PackNode(&units, Orders_NewNode(QSCATTER, 0, 0));
    PackNode(&units, Orders_NewNode(QSTOP, 0, 0));
    // Orders at the fuzz world's buildings: the spy (15) into team 1's depot
    // (10), boarding and leaving team 0's depot (9) and the carrier (13), a
    // transport trip from the well's door (18, 3), a teleport, pack and
    // unpack (the truck, 18), and service visits.
    std::string blds;
    ORDERREC* pick = Orders_NewNode(QADDSELECTED, ORDER_PAYLOAD, 0);
    for (int id : {1, 16}) Units_ListAppend(&pick->list, nullptr, id);
    PackNode(&blds, pick);
    const struct {
        int code, n;
        uint8_t bytes[12];
    } at[] = {{QSPY, 12, {15, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0}},
              {QBOARDBUILDING, 4, {9, 0, 0, 0}},
              {QDISEMBARK, 8, {1, 0, 0, 0, 13, 0, 0, 0}},
              {QDISEMBARKBLD, 8, {0, 0, 0, 0, 9, 0, 0, 0}},
              {QSETUPTRANSPORT, 8, {1, 0, 0, 0, 18, 0, 3, 0}},
              {QTELEPORT, 8, {9, 0, 0, 0, 5, 0, 5, 0}},
              {QUNPACKBUILDING, 8, {18, 0, 0, 0, 4, 0, 17, 0}},
              {QPACKBUILDING, 4, {9, 0, 0, 0}},
              {QGOTOREPAIR, 4, {9, 0, 0, 0}},
              {QREPAIRSELF, 0, {}},
              {QSPY, 12, {15, 0, 0, 0, 10, 0, 0, 0, 3, 0, 3, 0}}};
    for (const auto& o : at) {
        ORDERREC* n = Orders_NewNode(o.code, o.n, 0);
        memcpy(n->payload, o.bytes, (size_t)o.n);
        PackNode(&blds, n);
    }
    // Every team asks to be handed to the computer, then team 0 orders on.
    std::string takeover;
    for (int team : {1, 0, 8, 0, 3}) PackNode(&takeover, Orders_NewNode(QAITAKEOVER, 0, team));
    PackNode(&takeover, Orders_NewNode(QSTOP, 0, 0));
    return Mkdata_WriteFile(dir + "/takeover.bin", takeover.data(), takeover.size()) &&
           Mkdata_WriteFile(dir + "/units.bin", units.data(), units.size()) &&
           Mkdata_WriteFile(dir + "/buildings.bin", blds.data(), blds.size()) &&
           Mkdata_WriteFile(dir + "/game.rec", rec.data(), rec.size()) &&
           Mkdata_WriteFile(dir + "/short.rec", rec.data(), rec.size() - 5) &&
           Mkdata_WriteFile(dir + "/entries.bin", stream.data(), stream.size());
}

MKDATA_REGISTER(orders, "orders", nullptr, Seeds);
