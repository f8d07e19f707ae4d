// libFuzzer's entry for one target, chosen when this file is compiled
// (BRIX_FUZZ_FUNCTION names the function). libFuzzer's own main also replays
// files given on its command line.
#include "targets.h"

#ifndef BRIX_FUZZ_FUNCTION
#error "BRIX_FUZZ_FUNCTION must name the target function"
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data, std::size_t Size)
{
    return brix::fuzz::BRIX_FUZZ_FUNCTION(Data, Size);
}
