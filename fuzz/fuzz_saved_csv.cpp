// libFuzzer target: arbitrary bytes as a saved CSV file opened or loaded as a reference.
#include <cstddef>
#include <cstdint>

#include "fuzz/saved_file_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzzing::Check_saved(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.csv");
    return 0;
}
