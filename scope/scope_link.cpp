// The connection to the HP 54200A and its control commands. Every command is one GPIB message
// without terminator (EOI marks its end); every text reply is one read into the reply buffer,
// trimmed of the scope's CR LF.
#include "scope/scope_link.h"

#include <algorithm>
#include <cstring>

#include "model/waveform.h"
#include "platform/platform.h"
#include "scope/bus_address.h"
#include "scope/gpib_driver.h"

namespace scope {

LinkState Link;

namespace {

// The scope answers its model name in double quotes.
constexpr char kIdentity[] = "\"HP54200A\"";

// The configured board and primary address (board 0, address 5 unless the operator set others),
// no secondary address, time-out code 12 (3 s), EOI asserted with the last byte of every write,
// no end-of-string character.
constexpr int kSecondaryAddress = 0;
constexpr int kTimeout3s = 12;
constexpr int kEoiOn = 1;
constexpr int kNoEos = 0;

void Send_checked(const std::string& text, const char* failure) {
    Send_command(text);
    Check_gpib_status(failure);
}

void Clear_operator_state() {
    platform::clear_display_flags();
    for (int channel = 1; channel <= 2; ++channel) {
        model::Waveforms[channel].inverted = false;
        model::Waveforms[channel].averaging = false;
    }
}

[[noreturn]] void Refuse_identity() {
    Link.Message = "Did not find the HP54200A!";
    platform::current().message_box(platform::BoxKind::Error, "Error", Link.Message);
    Call_ibonl(Link.Device, 0);
    Release_gpib_library();
    platform::stop_program();
}

}  // namespace

void Wait_ms(int ms) {
    platform::current().sleep_ms(ms);
}

void Send_command(const std::string& text) {
    // Command texts are short fixed strings; the buffer keeps the NUL after them.
    const size_t count = std::min(text.size(), Link.Command_buffer.size() - 1);
    std::memcpy(Link.Command_buffer.data(), text.data(), count);
    Link.Command_buffer[count] = '\0';
    Call_ibwrt(Link.Device, Link.Command_buffer.data(), static_cast<int32_t>(count));
}

void Read_reply() {
    Call_ibrd(Link.Device, &Link.Reply_buffer[1], kReplyCapacity);
}

std::string Trimmed_reply(int capacity) {
    // The count comes from the driver: never trust it beyond the buffer.
    const int32_t n = std::clamp<int32_t>(Ibcnt(), 0, kReplyCapacity);
    if (n < 2) {
        return {};
    }
    Link.Reply_buffer[n] = '\0';
    const int32_t length = std::min(n - 2, capacity);
    return std::string(&Link.Reply_buffer[1], static_cast<size_t>(length));
}

void initialize_hp54200A() {
    Load_gpib_library();
    Link.Identity.clear();
    platform::status_list().clear();
    Clear_operator_state();
    platform::send_message("Bringing scope online and initializing...");

    Link.Device =
        Call_ibdev(Bus.board, Bus.primary_address, kSecondaryAddress, kTimeout3s, kEoiOn, kNoEos);
    // The Linux driver returns a negative descriptor on failure, whatever its status word says.
    if (Error_bit_set() || Link.Device < 0) {
        Report_gpib_error("Unable to open device");
    }
    Call_ibclr(Link.Device);
    Check_gpib_status("Unable to clear device");
    Send_checked("ID ?", "Unable to write to device");
    Read_reply();
    Check_gpib_status("Unable to read from device");
    const std::string identity = Trimmed_reply(kIdentityCapacity);
    if (identity != kIdentity) {
        Refuse_identity();
    }
    Link.Identity = identity;
    platform::send_message("Initialization successful");
    Link.Scope_initialized = true;
}

void Select_measure_subsystem() {
    Send_command("HEADER OFF");
    Send_checked("MEASURE?", "Measure command write error");
    Read_reply();
    Check_gpib_status("Measure command read error");
    Wait_ms(100);
    Link.Waveform_selected = false;
}

void Select_waveform_subsystem() {
    Send_command("HEADER OFF");
    Send_command("WAVEFORM?");
    Read_reply();
    Link.Waveform_selected = true;
}

void Autoscale_sequence() {
    Send_checked("AUTOSCALE FULL", "Error performing AUTOSCALE command");
    platform::send_message("Executing AUTOSCALE");
    Wait_ms(5000);
}

void Coupling_sequence(int channel, int32_t coupling) {
    const std::string n = channel == 1 ? "1" : "2";
    Send_command("CHANNEL " + n);
    Link.Waveform_selected = false;
    Wait_ms(100);
    Send_command(coupling == 2 ? "COUPLING AC" : "COUPLING DC");
    // Channel 1 settles for another 100 ms before the write's outcome is looked at; the status
    // checked is still that of the COUPLING write, since a wait makes no driver call.
    if (channel == 1) {
        Wait_ms(100);
    }
    Check_gpib_status("Error setting coupling for channel " + n);
    platform::send_message("Setting Channel " + n + " Coupling");
}

void Closing_sequence() {
    Select_waveform_subsystem();
    Send_command("SOURCE CHANNEL1");
}

}  // namespace scope
