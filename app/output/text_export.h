// The text data files: the samples and spectra of the shown channels as fixed-width columns,
// for reading into other programs.
#pragma once

#include <string>
#include <vector>

namespace app {

// The fixed directory of the data files, ending in the path separator: c:\junk\ on Windows,
// the directory "junk" in the user's home elsewhere. The program does not create it.
std::string Data_directory();

// value in scientific notation in exactly `width` characters (14 or 23): a sign position, one
// digit, ".", width - 9 digits, "E", the exponent's sign and four exponent digits. The
// mantissa's width - 8 significant digits are rounded half up on the double's exact decimal
// value; the point is always ".".
std::string Scientific_field(double value, int width);

// Writes waveform<n>_data.dat and fft<n>_data.dat for each shown channel's waveform and
// spectrum (in the order waveform1, fft1, waveform2, fft2), then confirms with an information
// box. A file that cannot be written ends the export with an error box naming it; files
// already written stay.
void Write_data_files();
// The same files in another folder (ending in the path separator or not), without the
// confirmation box; `written` gets their paths. False when one could not be written (an error
// box names it).
bool Write_data_files_to(const std::string& dir, std::vector<std::string>& written);

}  // namespace app
