// Hostile bytes as a configuration file: every error must be a clean fatal
// (caught here) and no byte may be read out of bounds.
#include <cstddef>
#include <cstdint>

#include "core/config.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    QCONFIG cfg;
    Cfg_SetDefaults(&cfg);
    QV_FUZZ_GUARD(Cfg_LoadText("fuzz.cfg", reinterpret_cast<const char*>(data), size, &cfg));
    return 0;
}
