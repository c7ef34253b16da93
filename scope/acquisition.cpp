// Acquisition of one channel: the WAVEFORM preamble exchange and its decoding, the DATA? blocks
// read into the raw data sets, and the processing chain that follows the last block.
#include "scope/acquisition.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <limits>
#include <system_error>

#include "dsp/channel_math.h"
#include "dsp/fft.h"
#include "model/waveform.h"
#include "platform/platform.h"
#include "scope/gpib_driver.h"
#include "scope/measurements.h"
#include "scope/scope_link.h"

namespace scope {

namespace {

bool Is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::size_t Skip_spaces(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    return i;
}

// Error position for a scan that stopped at index `stop` having a complete number up to
// `valid_end` (npos when no complete number was seen).
int32_t Error_position(const std::string& text, std::size_t stop, std::size_t valid_end) {
    if (stop < text.size())
        return static_cast<int32_t>(stop + 1);
    if (valid_end == text.size())
        return 0;
    return static_cast<int32_t>(text.size() + 1);
}

void Log(const std::string& line) {
    Link.Message = line;
    platform::send_message(Link.Message);
}

// A text field: its width of spaces, the first of them overwritten by the received characters.
void Store_text(std::string& stored, std::size_t width, const std::string& field) {
    stored.assign(width, ' ');
    stored.replace(0, std::min(width, field.size()), field, 0, std::min(width, field.size()));
}

int32_t Store_integer(const std::string& field, const char* name) {
    const TConversion c = Convert_integer(field);
    if (c.error_position != 0) {
        Log(std::string("error decoding ") + name + ", string = " + field +
            " problem at position " + std::to_string(c.error_position));
    }
    return static_cast<int32_t>(c.value);
}

double Store_real(const std::string& field, const char* name) {
    const TConversion c = Convert_real(field);
    if (c.error_position != 0) {
        Log(std::string("error decoding ") + name + ", string = " + field +
            " problem at position " + std::to_string(c.error_position));
    }
    return static_cast<double>(c.value);
}

// A word row holds its codes as the bytes arrive, low byte first: the host must store them so.
static_assert(std::endian::native == std::endian::little, "word rows need a little-endian host");

// The count the driver reports for a read, never more than was asked for.
int32_t Received(int32_t requested) {
    return std::clamp(Ibcnt(), 0, requested);
}

}  // namespace

TConversion Convert_integer(const std::string& text) {
    std::size_t i = Skip_spaces(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const int64_t limit = negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
    int64_t magnitude = 0;
    std::size_t valid_end = std::string::npos;
    while (i < text.size() && Is_digit(text[i])) {
        const int64_t next = magnitude * 10 + (text[i] - '0');
        if (next > limit)
            break;  // the digit that would overflow is the one that fails
        magnitude = next;
        ++i;
        valid_end = i;
    }
    TConversion result;
    result.value = static_cast<long double>(negative ? -magnitude : magnitude);
    result.error_position = Error_position(text, i, valid_end);
    return result;
}

TConversion Convert_real(const std::string& text) {
    std::size_t i = Skip_spaces(text);
    const std::size_t sign_at = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    int mantissa_digits = 0;
    while (i < text.size() && Is_digit(text[i])) {
        ++i;
        ++mantissa_digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && Is_digit(text[i])) {
            ++i;
            ++mantissa_digits;
        }
    }
    std::size_t valid_end = mantissa_digits > 0 ? i : std::string::npos;
    if (mantissa_digits > 0 && i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        const std::size_t exponent_digits_at = j;
        while (j < text.size() && Is_digit(text[j])) ++j;
        if (j > exponent_digits_at)
            valid_end = j;
        i = j;
    }
    TConversion result;
    result.error_position = Error_position(text, i, valid_end);
    if (valid_end == std::string::npos)
        return result;

    // from_chars is locale-independent (the window's locale may use a decimal comma) but takes
    // no leading plus sign.
    const char* first = text.data() + sign_at;
    if (*first == '+')
        ++first;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(first, text.data() + valid_end, value);
    (void)end;
    if (ec != std::errc{}) {
        result.error_position = static_cast<int32_t>(sign_at + 1);
        return result;  // beyond the range of a double: no value
    }
    result.value = value;
    return result;
}

std::string Next_field(const std::string& text, std::size_t& position) {
    if (position >= text.size()) {
        position = text.size();
        return {};
    }
    const std::size_t cr = text.find('\r', position);
    const std::size_t end = cr == std::string::npos ? text.size() : cr;
    std::string field =
        text.substr(position, std::min<std::size_t>(end - position, kFieldCapacity));
    // Past the CR and the character after it (the LF).
    position = cr == std::string::npos ? text.size() : std::min(text.size(), cr + 2);
    return field;
}

void Parse_preamble(const std::string& text) {
    std::size_t position = 0;
    model::TPreamble& p = model::Preamble;

    Store_text(p.graph_source, 7, Next_field(text, position));
    Store_text(p.valid, 10, Next_field(text, position));
    const std::string format = Next_field(text, position);
    Store_text(p.format, 4, format);
    model::Byte_format = format == "1";
    Store_text(p.type, 8, Next_field(text, position));
    p.points = Store_integer(Next_field(text, position), "points");
    p.frame_count = Store_integer(Next_field(text, position), "frame_count");
    p.xincrement = Store_real(Next_field(text, position), "xincrement");
    p.xorigin = Store_real(Next_field(text, position), "xorigin");
    p.xreference = Store_integer(Next_field(text, position), "xreference");
    p.yincrement = Store_real(Next_field(text, position), "yincrement");
    p.yorigin = Store_real(Next_field(text, position), "yorigin");
    p.yreference = Store_integer(Next_field(text, position), "yreference");
    Store_text(p.coupling, 2, Next_field(text, position));
    const std::string label = Next_field(text, position);
    p.waveform_label.assign(11, ' ');
    p.waveform_label.replace(0, std::min<std::size_t>(10, label.size()), label, 0, 10);

    // Every later reader (conversion, spectrum, display, export) indexes its arrays with this
    // count, so it is limited here, once, to what the sample tables hold.
    if (p.points < model::kMinPoints || p.points > model::kMaxPoints) {
        const int32_t used = p.points < model::kMinPoints ? model::kMinPoints : model::kMaxPoints;
        Log("Preamble points = " + std::to_string(p.points) + " out of range, using " +
            std::to_string(used));
        p.points = used;
    }
}

void Get_Information_About_Waveform(int channel) {
    Send_command("HEADER OFF");
    Check_gpib_status("Error writing HEADER OFF command");
    if (!Link.Waveform_selected)
        Select_waveform_subsystem();
    Send_command(channel == 1 ? "SOURCE CHANNEL1" : "SOURCE CHANNEL2");
    Wait_ms(100);
    Send_command("WAVEFORM?");
    Check_gpib_status("Error writing PREAMBLE query");
    Link.Waveform_selected = true;
    Read_reply();
    Check_gpib_status("Unable to read WAVEFORM?");
    const int32_t received = Received(kReplyCapacity);
    Parse_preamble(std::string(Link.Reply_buffer.data() + 1, static_cast<std::size_t>(received)));
}

void Get_waveform_data(int channel) {
    if (channel != 1 && channel != 2)
        return;
    const model::TWaveformRecord& record = model::Waveforms[static_cast<std::size_t>(channel)];
    // An averaging count never chosen (0) still reads one set; more than the rows hold, 50.
    const int32_t sets = record.averaging ? std::clamp(record.average_count, int32_t{1},
                                                       int32_t{model::kMaxDataSets})
                                          : 1;
    const int32_t points =
        std::clamp(model::Preamble.points, int32_t{model::kMinPoints}, int32_t{model::kMaxPoints});

    for (int32_t s = 1; s <= sets; ++s) {
        Send_command("DATA?");
        Check_gpib_status("Error writing DATA query");

        // The block starts "#", "A" and a 16-bit byte count, high byte first. Only three header
        // bytes are read, so the count's low byte leads the sample read: one byte more is asked
        // for, and it lands in the unused position 0 of the row.
        char header = 0;
        Call_ibrd(Link.Device, &header, 1);
        Check_gpib_status("Error reading number sign");
        Call_ibrd(Link.Device, &header, 1);
        Check_gpib_status("Error reading block name");
        Call_ibrd(Link.Device, &header, 1);
        Check_gpib_status("Error reading block length");

        if (model::Byte_format) {
            model::ByteRow& row = model::Raw_byte_sets[static_cast<std::size_t>(s)];
            const int32_t requested = points + 1;
            Call_ibrd(Link.Device, reinterpret_cast<char*>(row.data()), requested);
            Check_gpib_status("Unable to read data");
        } else {
            // The read lands one byte into the row, so that the count's low byte takes the
            // unused high byte of code 0 and sample j's two bytes, low byte first, make code j.
            // Like the byte rows, the row is read into directly: whatever the driver does not
            // fill keeps the row's earlier codes, whatever count it reports.
            model::WordRow& row = model::Raw_word_sets[static_cast<std::size_t>(s)];
            const int32_t requested = 2 * points + 1;
            Call_ibrd(Link.Device, reinterpret_cast<char*>(row.data()) + 1, requested);
            Check_gpib_status("Unable to read data");
        }
        Wait_ms(100);
    }

    dsp::Scale_waveform(points, channel);
    dsp::Compute_spectrum(channel);
    Get_measurements(channel);
}

}  // namespace scope
