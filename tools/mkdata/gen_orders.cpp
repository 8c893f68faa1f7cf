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
    return Mkdata_WriteFile(dir + "/units.bin", units.data(), units.size()) &&
           Mkdata_WriteFile(dir + "/game.rec", rec.data(), rec.size()) &&
           Mkdata_WriteFile(dir + "/short.rec", rec.data(), rec.size() - 5) &&
           Mkdata_WriteFile(dir + "/entries.bin", stream.data(), stream.size());
}

MKDATA_REGISTER(orders, "orders", nullptr, Seeds);
