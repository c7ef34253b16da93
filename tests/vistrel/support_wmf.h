// Reading back the metafiles the plotting unit writes: the raw bytes, the records behind the two
// headers, and the SVG that libwmf's wmf2svg makes of a file, as an independent reader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wmf_support {

std::vector<std::uint8_t> ReadBytes(const std::string& path);

// Little-endian 16-bit word at a byte offset.
std::uint16_t WordAt(const std::vector<std::uint8_t>& bytes, std::size_t offset);
std::uint32_t DwordAt(const std::vector<std::uint8_t>& bytes, std::size_t offset);

struct Record {
    std::uint32_t size = 0;  // in words, size and function included
    std::uint16_t function = 0;
    std::vector<std::uint16_t> params;
};

// The records from byte 40 on (behind the placeable and the metafile header), as far as the
// bytes go; a record that claims more words than remain ends the list.
std::vector<Record> ParseRecords(const std::vector<std::uint8_t>& bytes);

// The characters packed two to a word, first in the low byte.
std::string UnpackText(const std::vector<std::uint16_t>& words, std::size_t first,
                       std::size_t bytes);

struct SvgResult {
    int status = -1;  // exit status of wmf2svg
    std::string svg;
    std::string errors;
};
// Runs wmf2svg on the file; the program must be installed (libwmf-bin).
SvgResult ConvertToSvg(const std::string& wmfPath);

// Elements of an SVG text by tag name ("line", "text", "rect" ...).
int CountElements(const std::string& svg, const std::string& tag);
// The character data of every <text> element, in order.
std::vector<std::string> TextContents(const std::string& svg);

// A fresh directory under the system's temporary directory, removed with its contents at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

}  // namespace wmf_support
