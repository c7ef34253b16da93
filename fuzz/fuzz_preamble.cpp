// libFuzzer target: arbitrary bytes as the scope's WAVEFORM? reply.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzzing::Check_preamble(data, size);
    return 0;
}
