// The two ways the plotting unit hands a finished picture to the outside: a WMF file written by
// repainting the bound paint box once with metafile recording on, and a bitmap on the clipboard.
#pragma once

#include <string>

namespace vistrel {

// Written in the current directory when the caller gives no name.
inline constexpr const char* DefaultMetafileName = "vistrel.wmf";

// Writes the picture of the bound paint box as a metafile. fileName may be empty (the default
// name); its extension becomes ".wmf". ok is true only when the file was created and has exactly
// the expected size. Every failure beeps; showMessages adds an error box, and a plain box on
// success.
void SavePlotAsMetafile(std::string fileName, bool showMessages, bool& ok);

// The two halves of the recording: open the file and turn recording on; write the headers,
// close and check the file and turn recording off.
void StartMetafileRecording(std::string& fileName, bool& ok);
void StopMetafileRecording(bool& ok);

// Puts a bitmap of the bound paint box, exactly its size, on the clipboard. Reports nothing.
void CopyPlotToClipboard();

}  // namespace vistrel
