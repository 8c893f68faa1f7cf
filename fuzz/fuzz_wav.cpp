// The WAV reader over arbitrary bytes: every input is converted or refused,
// never read past its end.
#include <cstdint>

#include "core/debug.h"
#include "fuzzsupport.h"
#include "platform/wav.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD({
        uint8_t* samples = nullptr;
        int count = 0;
        if (Wav_LoadMemory(data, size, "fuzz.wav", &samples, &count)) {
            // Touch every converted sample so that a short allocation shows.
            unsigned sum = 0;
            for (int i = 0; i < count; i++) sum += samples[i];
            (void)sum;
            Debug_Free(&samples);
        }
    });
    return 0;
}
