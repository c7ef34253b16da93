// libFuzzer target: arbitrary bytes as the lines of a text data file (waveform or spectrum).
#include <cstddef>
#include <cstdint>

#include "fuzz/saved_file_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzzing::Check_saved_text(data, size);
    return 0;
}
