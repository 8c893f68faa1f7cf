// Building handles: {building, id}, followed only while the ids agree.
#include "units/buildid.h"

#include "core/debug.h"
#include "units/building.h"

void BuildId_Clear(BUILDID* handle)
{
    ASSERT(handle);
    handle->building = nullptr;
    handle->id = -1;
}

// A free record carries id -1; a handle to it would compare equal to the
// empty id, so it becomes the empty handle instead.
void BuildId_Setup(BUILDID* handle, BUILDING* building)
{
    ASSERT(handle);
    if (building == nullptr || building->id == -1) {
        BuildId_Clear(handle);
        return;
    }
    handle->building = building;
    handle->id = building->id;
}

int BuildId_Valid(BUILDID* handle)
{
    ASSERT(handle);
    if (handle->building == nullptr) {
        handle->id = -1;
        return 0;
    }
    if (handle->id == -1 || handle->building->id != handle->id) {
        BuildId_Clear(handle);
        return 0;
    }
    return 1;
}

BUILDING* BuildId_Ptr(BUILDID* handle)
{
    return BuildId_Valid(handle) ? handle->building : nullptr;
}

int BuildId_Id(BUILDID* handle)
{
    return BuildId_Valid(handle) ? handle->id : -1;
}
