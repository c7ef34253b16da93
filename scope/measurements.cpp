// The scope's automatic measurements: "VALID ?", "PERIOD ?" and "VRMS ?" of the MEASURE
// subsystem for the graph of the channel just acquired.
#include "scope/measurements.h"

#include "model/waveform.h"
#include "platform/platform.h"
#include "scope/acquisition.h"
#include "scope/gpib_driver.h"
#include "scope/scope_link.h"

namespace scope {

namespace {

// One measurement query. Neither the write nor the read is checked: a time-out leaves whatever
// the reply buffer and count hold, and the conversion takes its leading part.
std::string Measurement_query(const char* query, int delay_ms) {
    Send_command(query);
    Read_reply();
    Wait_ms(delay_ms);
    return Trimmed_reply(kMeasureCapacity);
}

}  // namespace

std::string Validity_text(int32_t code) {
    switch (code) {
        case 0:
            return "no waveform";
        case -1:
            return "scaling";
        case -2:
            return "threshold";
        case -3:
            return "clipped";
        case -6:
            return "not found";
        default:
            return "";
    }
}

void Get_measurements(int channel) {
    if (channel != 1 && channel != 2)
        return;
    model::TWaveformRecord& record = model::Waveforms[static_cast<std::size_t>(channel)];

    Select_measure_subsystem();
    Send_command(channel == 1 ? "SOURCE GRAPH 1" : "SOURCE GRAPH 2");
    Check_gpib_status("Measurement system write error");
    Wait_ms(40);

    const auto code = static_cast<int32_t>(Convert_integer(Measurement_query("VALID ?", 40)).value);
    if (code == 1) {
        record.measurement_valid = true;
        const long double period = Convert_real(Measurement_query("PERIOD ?", 20)).value;
        record.period = static_cast<double>(period);
        // A period of zero (the scope's answer, or a reply that does not convert) has no
        // frequency; 0 keeps the title and the exported files finite.
        record.frequency = period == 0.0L ? 0.0 : static_cast<double>(1.0L / period);
        record.vrms = static_cast<double>(Convert_real(Measurement_query("VRMS ?", 20)).value);
    } else {
        Link.Message = "Waveform measurement data invalid, code = " + Validity_text(code);
        platform::send_message(Link.Message);
        record.measurement_valid = false;
    }
}

}  // namespace scope
