// libFuzzer's entry point for one target, named when compiled (TELLWAVE_FUZZ_TARGET).
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzTarget(TELLWAVE_FUZZ_TARGET, data, size);
    return 0;
}
