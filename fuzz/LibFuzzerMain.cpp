// libFuzzer entry; QB_FUZZ_ENTRY names the target function (FuzzEntries.h).
#include "FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return qb::fuzz::QB_FUZZ_ENTRY(data, size);
}
