// Reading back the plotting unit's metafiles for the tests.
#include "support_wmf.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "portable.h"

namespace wmf_support {

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint16_t WordAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    if (offset + 2 > bytes.size())
        throw std::out_of_range("word beyond the end of the file");
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::uint32_t DwordAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return WordAt(bytes, offset) | (static_cast<std::uint32_t>(WordAt(bytes, offset + 2)) << 16);
}

std::vector<Record> ParseRecords(const std::vector<std::uint8_t>& bytes) {
    std::vector<Record> records;
    std::size_t offset = 40;
    while (offset + 6 <= bytes.size()) {
        Record r;
        r.size = DwordAt(bytes, offset);
        r.function = WordAt(bytes, offset + 4);
        if (r.size < 3 || offset + 2 * std::size_t{r.size} > bytes.size())
            break;
        for (std::size_t i = 3; i < r.size; ++i) r.params.push_back(WordAt(bytes, offset + 2 * i));
        offset += 2 * std::size_t{r.size};
        records.push_back(std::move(r));
    }
    return records;
}

std::string UnpackText(const std::vector<std::uint16_t>& words, std::size_t first,
                       std::size_t bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes; ++i) {
        const std::uint16_t w = words.at(first + i / 2);
        text.push_back(static_cast<char>(i % 2 == 0 ? (w & 0xFF) : (w >> 8)));
    }
    return text;
}

namespace {

// libwmf maps every metafile face to one of the PostScript standard faces and looks their files
// up in a ghostscript font map; without ghostscript's fonts it finds none and gives up. This map
// names the Liberation fonts (Arial's metric twin) for them.
std::string WriteFontMap(const std::string& path) {
    const std::string dir = "/usr/share/fonts/truetype/liberation2/";
    const std::array<std::array<const char*, 2>, 12> faces = {{
        {"Helvetica", "LiberationSans-Regular"},
        {"Helvetica-Bold", "LiberationSans-Bold"},
        {"Helvetica-Oblique", "LiberationSans-Italic"},
        {"Helvetica-BoldOblique", "LiberationSans-BoldItalic"},
        {"Times-Roman", "LiberationSerif-Regular"},
        {"Times-Bold", "LiberationSerif-Bold"},
        {"Times-Italic", "LiberationSerif-Italic"},
        {"Times-BoldItalic", "LiberationSerif-BoldItalic"},
        {"Courier", "LiberationMono-Regular"},
        {"Courier-Bold", "LiberationMono-Bold"},
        {"Courier-Oblique", "LiberationMono-Italic"},
        {"Courier-BoldOblique", "LiberationMono-BoldItalic"},
    }};
    std::ofstream out(path);
    for (const auto& [name, file] : faces) {
        out << "/" << name << " (" << dir << file << ".ttf) ;\n";
    }
    return path;
}

}  // namespace

SvgResult ConvertToSvg(const std::string& wmfPath) {
    SvgResult result;
    const std::string svgPath = wmfPath + ".svg";
    const std::string errPath = wmfPath + ".err";
    const std::string fontMap = WriteFontMap(wmfPath + ".fontmap");
    const std::string command = "wmf2svg --wmf-gs-fontmap='" + fontMap + "' -o '" + svgPath +
                                "' '" + wmfPath + "' 2>'" + errPath + "'";
    result.status = portable::Run_command(command);
    const auto svg = ReadBytes(svgPath);
    result.svg.assign(svg.begin(), svg.end());
    const auto err = ReadBytes(errPath);
    result.errors.assign(err.begin(), err.end());
    return result;
}

int CountElements(const std::string& svg, const std::string& tag) {
    int count = 0;
    const std::string open = "<" + tag;
    for (std::size_t at = svg.find(open); at != std::string::npos; at = svg.find(open, at + 1)) {
        const char next = at + open.size() < svg.size() ? svg[at + open.size()] : '\0';
        if (next == ' ' || next == '>' || next == '\n' || next == '/' || next == '\t')
            ++count;
    }
    return count;
}

std::vector<std::string> TextContents(const std::string& svg) {
    std::vector<std::string> texts;
    for (std::size_t at = svg.find("<text"); at != std::string::npos;
         at = svg.find("<text", at + 1)) {
        const std::size_t start = svg.find('>', at);
        const std::size_t end = svg.find("</text>", start);
        if (start == std::string::npos || end == std::string::npos)
            break;
        std::string inner = svg.substr(start + 1, end - start - 1);
        // Drop nested markup (a tspan), keep its characters.
        std::string plain;
        bool in_tag = false;
        for (char c : inner) {
            if (c == '<')
                in_tag = true;
            if (!in_tag)
                plain.push_back(c);
            if (c == '>')
                in_tag = false;
        }
        texts.push_back(plain);
    }
    return texts;
}

TempDir::TempDir() {
    path_ = portable::Make_temp_folder("vmeta-");
    if (path_.empty())
        throw std::runtime_error("cannot make a temp dir");
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace wmf_support
