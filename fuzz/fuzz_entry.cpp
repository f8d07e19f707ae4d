// libFuzzer's entry for one target, chosen when this file is compiled
// (BRIX_FUZZ_TARGET names the function). libFuzzer's own main also replays
// files given on its command line.
#include "targets.h"

#ifndef BRIX_FUZZ_TARGET
#error "BRIX_FUZZ_TARGET must name the target function"
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data, std::size_t Size)
{
    return brix::fuzz::BRIX_FUZZ_TARGET(Data, Size);
}
