// Building handles.
//
// A BUILDID is {building, id}: followed only while the building still
// carries that id (a removed building's record gets id -1 and a reused
// record a new id), so a handle to a building that is gone or was replaced
// is detected, never followed. A stale handle is emptied on first use.
// A missing handle is an assertion failure.
#pragma once

#include <cstdint>

struct BUILDING;

struct BUILDID {
    BUILDING* building;
    int32_t id;          // -1 for the empty handle
};

void BuildId_Clear(BUILDID* handle);
// {building, its id}; null gives the empty handle.
void BuildId_Setup(BUILDID* handle, BUILDING* building);
// True while valid; a stale handle is emptied and gives 0.
int BuildId_Valid(BUILDID* handle);
// The building, or null.
BUILDING* BuildId_Ptr(BUILDID* handle);
// The id, or -1.
int BuildId_Id(BUILDID* handle);
