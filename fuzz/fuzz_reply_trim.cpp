// libFuzzer target: a text reply of arbitrary bytes and an arbitrary reported count, read into
// the reply buffer through the driver binding and trimmed as the identity and measurement
// replies are.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzz_checks.h"
#include "scope/gpib_driver.h"

extern "C" void fake_queue_reply(const char* bytes, long size, int reported_count);

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("GPIB_LIBRARY", FAKE_DRIVER_PATH, 1);
    scope::Load_gpib_library();
    scope::Link.Device = scope::Call_ibdev(0, 5, 0, 12, 1, 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const fuzzing::TrimInput in = fuzzing::Decode_trim_input(data, size);
    fake_queue_reply(in.reply.data(), static_cast<long>(in.reply.size()), in.reported);
    scope::Read_reply();
    const std::size_t delivered =
        std::min<std::size_t>(in.reply.size(), static_cast<std::size_t>(scope::kReplyCapacity));
    fuzzing::Check_trimmed(in, delivered, in.reported);
    return 0;
}
