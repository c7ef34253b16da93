// What must hold after the link decodes arbitrary instrument bytes: shared by the fuzz targets
// and by the test that replays their seed corpus, so both drive the same functions the same way.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/waveform.h"
#include "scope/acquisition.h"
#include "scope/scope_link.h"

namespace fuzzing {

inline void Require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

// Decodes the bytes as a WAVEFORM reply; the stored preamble must keep its field widths and a
// point count that every sample table can hold.
inline void Check_preamble(const uint8_t* data, std::size_t size) {
    scope::Parse_preamble(std::string(reinterpret_cast<const char*>(data), size));
    const model::TPreamble& p = model::Preamble;
    Require(p.graph_source.size() == 7, "graph_source width");
    Require(p.valid.size() == 10, "valid width");
    Require(p.format.size() == 4, "format width");
    Require(p.type.size() == 8, "type width");
    Require(p.coupling.size() == 2, "coupling width");
    Require(p.waveform_label.size() == 11 && p.waveform_label[10] == ' ', "label width");
    Require(p.points >= model::kMinPoints && p.points <= model::kMaxPoints, "points limited");
    Require(!model::Byte_format || p.format == "1   ", "byte format only for \"1\"");
}

// A reply for the trimming: byte 0 chooses the capacity (identity or measurement), bytes 1..4
// are the count the driver reports (little-endian, any value), the rest is what it delivers.
struct TrimInput {
    int capacity = scope::kIdentityCapacity;
    int32_t reported = 0;
    std::string reply;
};

inline TrimInput Decode_trim_input(const uint8_t* data, std::size_t size) {
    TrimInput in;
    if (size > 0)
        in.capacity = (data[0] & 1) != 0 ? scope::kMeasureCapacity : scope::kIdentityCapacity;
    uint32_t count = 0;
    for (std::size_t i = 1; i < 5 && i < size; ++i) count |= uint32_t{data[i]} << (8 * (i - 1));
    in.reported = static_cast<int32_t>(count);
    if (size > 5)
        in.reply.assign(reinterpret_cast<const char*>(data) + 5, size - 5);
    return in;
}

// After a read that delivered `delivered` bytes of in.reply and reported `reported`: the
// trimmed text is at most the capacity, drops the two terminator bytes, and is made of the
// delivered bytes as far as they go.
inline void Check_trimmed(const TrimInput& in, std::size_t delivered, int32_t reported) {
    const std::string text = scope::Trimmed_reply(in.capacity);
    const int32_t n = std::clamp(reported, 0, scope::kReplyCapacity);
    const std::size_t expected = n < 2 ? 0 : static_cast<std::size_t>(std::min(n - 2, in.capacity));
    Require(text.size() == expected, "trimmed length");
    const std::size_t known = std::min(text.size(), delivered);
    Require(text.compare(0, known, in.reply, 0, known) == 0, "trimmed bytes are the reply's");
}

}  // namespace fuzzing
