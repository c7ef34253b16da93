// The measurements table: one column per channel or combination that the window shows, one row
// per quantity, read from the records of the latest acquisitions. The measurements window shows
// it, copies it as tab-separated text, and the capture writes it as CSV. Free of Qt.
#pragma once

#include <string>
#include <vector>

#include "dsp/measure.h"

namespace app {

struct MeasureRow {
    const char* quantity;  // "Frequency"
    const char* unit;      // "Hz"; "" for a count
};

// The rows in order: the waveform's quantities, the scope's own period and RMS, the spectrum's.
const std::vector<MeasureRow>& Measure_rows();

struct MeasureColumn {
    std::string name;                    // "Ch 1", "Ch 2", "Ch 1 + Ch 2", "Ch 1 - Ch 2"
    std::vector<dsp::TMeasured> values;  // one per row of Measure_rows()
};

struct MeasureTable {
    std::vector<MeasureColumn> columns;
};

// The columns of what the window shows now: each shown channel (its waveform, its spectrum or
// both) or the combination; both channels for "Ch 1 and Ch 2".
MeasureTable Build_measure_table();

// The measurements of one record of `points` samples (sample j at volts[j], j = 1..points).
MeasureColumn Measure_record(const std::string& name, const double* volts, int points,
                             long double xincrement, bool clipped_high, bool clipped_low);

// A cell as the window shows it: 4 significant digits with an SI prefix ("1.000 kHz",
// "707.1 mV"), percentages and decibels with two decimals, counts as integers, and
// "n/a (reason)" where the quantity does not exist.
std::string Cell_text(const dsp::TMeasured& m, const char* unit);

// The table as the window shows it, tab-separated: a header line "Quantity" and the column
// names, then one line per row. Lines end in "\n".
std::string Table_tsv(const MeasureTable& table);

// The table as CSV for scripts: "channel,quantity,value,unit", one line per channel and
// quantity; values are plain numbers in the unit given (no prefix), or "n/a (reason)".
std::string Table_csv(const MeasureTable& table);

}  // namespace app
