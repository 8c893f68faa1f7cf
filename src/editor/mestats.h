// The editor's Stats layer: per-team counts and worth of what is placed,
// the resource sources, and the list of what the scenario still lacks; also
// the info box that frames the minimap.
#pragma once

#include <cstdint>

struct BUILDINGTYPE;

class MeStats {
public:
    // Every count from the open scenario: per team (0..8) its buildings,
    // units and worth; the water and crystal sources; the placed overlays.
    // The tech-level text is rewritten from the game's tech level.
    static void Recount(void);
    // What a building of type is worth: its cost plus the cost of every type
    // it is an upgrade of, down the chain (cut after as many steps as there
    // are types, so a cycle in the rules ends); 0 for null.
    static int32_t BuildingWorth(const BUILDINGTYPE* type);
    // Whether type counts as a water (resource 0) or crystal (resource 1)
    // source: its production of that resource is above 0.
    static bool IsSource(const BUILDINGTYPE* type, int resource);
    // The outstanding list refilled from the last count: missing water and
    // crystal sources, teams 0..7 with things but no start position, no
    // team with things at all.
    static void CheckOutstanding(void);
    // "StatsLayer" and "StatsLayer2", hidden, with their labels, read-outs,
    // the tech-level edit and the outstanding list.
    static void BuildLayer(void);
    // The framed info box with the "InfoBox" picture, left of the main menu,
    // and the minimap in the corner below the side panel.
    static void BuildInfoBox(void);
    // "%d.%d" of worth in thousands with one decimal, cut (not rounded).
    static void WorthText(char* out, int size, int32_t worth);
    // The tech-level edit's commit: 0..10 becomes the game's tech level,
    // anything else is logged and refused; the text shows the tech level.
    static void CommitTechLevel(void);
};
