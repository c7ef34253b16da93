// The picture saved as PNG, SVG and PDF after both channels are acquired as "Waveform + FFT"
// from the simulated scope: the PNG is the screen's image; the SVG and PDF, rendered by
// rsvg-convert and pdftoppm at one pixel per point, carry the same ink as the screen and the
// picture's texts as text; the canvas's pixel rules hold exactly on both vector devices.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "app/canvas/canvas_style.h"
#include "app/canvas/qt_canvas.h"
#include "app/output/picture_export.h"
#include "app/support_window.h"
#include "app/window/paint_box.h"
#include "app/window/radio_group.h"
#include "vistrel/output.h"
#include "vistrel/state.h"
#include "vistrel/support_wmf.h"

namespace {

namespace fs = std::filesystem;
using app::PictureFormat;

// How far a pixel is from white: 0 white, 255 a full colour or black.
int Darkness(QRgb p) {
    return 255 - std::min({qRed(p), qGreen(p), qBlue(p)});
}

// Pixels of `a` with clear ink (anti-aliased fringes aside) that have no ink at all within one
// pixel in `b`.
int Ink_missing(const QImage& a, const QImage& b) {
    int missing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (Darkness(a.pixel(x, y)) < 128)
                continue;
            bool found = false;
            for (int j = std::max(y - 1, 0); j <= std::min(y + 1, b.height() - 1); ++j) {
                for (int i = std::max(x - 1, 0); i <= std::min(x + 1, b.width() - 1); ++i)
                    found = found || Darkness(b.pixel(i, j)) >= 32;
            }
            missing += !found;
        }
    }
    return missing;
}

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The file rendered at one pixel per point, through the given command ("%i" the input file,
// "%o" the output's name).
QImage Rendered(const fs::path& file, std::string command) {
    const fs::path out = file.string() + ".render";
    command.replace(command.find("%i"), 2, file.string());
    command.replace(command.find("%o"), 2, out.string());
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return QImage(QString::fromStdString(out.string() + ".png"))
        .convertToFormat(QImage::Format_RGB32);
}

std::vector<std::string> Words_of(const std::vector<std::string>& texts) {
    std::vector<std::string> words;
    for (const std::string& t : texts) {
        std::istringstream in(t);
        for (std::string w; in >> w;) words.push_back(w);
    }
    return words;
}

std::vector<std::string> Svg_texts(const fs::path& file) {
    return wmf_support::TextContents(Read(file));
}

std::vector<std::string> Pdf_texts(const fs::path& file) {
    const fs::path out = file.string() + ".txt";
    const std::string command = "pdftotext -raw -enc UTF-8 " + file.string() + " " + out.string();
    EXPECT_EQ(std::system(command.c_str()), 0);
    return {Read(out)};
}

struct VectorCase {
    const char* name;
    PictureFormat format;
    const char* render;
    std::vector<std::string> (*texts)(const fs::path&);
    // Words that reach past the page's edge and lose their last characters there: pdftotext
    // reads only characters that start on the page (channel 2's last time label, "2.5").
    int cut_words;
};

const VectorCase kVectorCases[] = {
    {"Svg", PictureFormat::Svg, "rsvg-convert -d 72 -p 72 -b white -o %o.png %i", Svg_texts, 0},
    {"Pdf", PictureFormat::Pdf, "pdftoppm -r 72 -png -singlefile %i %o", Pdf_texts, 1},
};

class PictureExportTest : public testing_support::WindowTest {
  protected:
    testing_support::ScratchHome home;
    QImage screen;
    int width = 0;
    int height = 0;

    void SetUp() override {
        WindowTest::SetUp();
        click(form->RadioGroup1->button(2));  // channel 1 "Waveform + FFT"
        click(form->RadioGroup2->button(2));  // channel 2 "Waveform + FFT"
        screen = form->PaintBox1->image().convertToFormat(QImage::Format_RGB32);
        width = screen.width();
        height = screen.height();
    }
    fs::path Saved(PictureFormat format, const std::string& name) const {
        const fs::path file = home.dir / name;
        EXPECT_EQ(app::Save_picture(format, file.string(), width, height), "");
        EXPECT_EQ(vistrel::plot.PlotPaintBox, form->PaintBox1) << "the window's box is bound";
        return file;
    }
    // The texts of the picture as the Output button's metafile writes them, in drawing order.
    std::vector<std::string> Metafile_texts() const {
        bool ok = false;
        vistrel::SavePlotAsMetafile((home.dir / "picture.wmf").string(), false, ok);
        EXPECT_TRUE(ok);
        std::vector<std::string> texts;
        for (const auto& r : wmf_support::ParseRecords(
                 wmf_support::ReadBytes((home.dir / "picture.wmf").string()))) {
            if (r.function == 0x0521)  // TextOut
                texts.push_back(
                    app::FromWindows1252(wmf_support::UnpackText(r.params, 1, r.params[0]))
                        .toStdString());
        }
        return texts;
    }
};

TEST_F(PictureExportTest, PngIsTheScreenPixelForPixel) {
    ASSERT_EQ(screen.size(), QSize(1073, 809));
    const QImage png(QString::fromStdString(Saved(PictureFormat::Png, "picture.png").string()));
    EXPECT_EQ(png.convertToFormat(QImage::Format_RGB32), screen);
}

// The four-graph picture as SVG: its pieces gathered per pen and colour, not one element and one
// group per line drawn (the axes' hundreds of ticks and grid lines).
TEST_F(PictureExportTest, SvgIsTheSizeOfThePictureNotOfItsLines) {
    const std::string svg = Read(Saved(PictureFormat::Svg, "picture.svg"));
    const auto count = [&svg](const std::string& tag) {
        size_t n = 0;
        for (size_t at = svg.find(tag); at != std::string::npos; at = svg.find(tag, at + 1)) ++n;
        return n;
    };
    EXPECT_LE(svg.size(), 100u * 1024u);
    EXPECT_LE(count("<g "), 40u);
    EXPECT_LE(count("<path "), 30u);
    EXPECT_EQ(count("<polyline "), 0u);
}

class VectorPictureTest : public PictureExportTest,
                          public ::testing::WithParamInterface<VectorCase> {};

TEST_P(VectorPictureTest, InkAndTextsAreTheScreens) {
    const fs::path file = Saved(GetParam().format, "picture");
    const QImage rendered = Rendered(file, GetParam().render);
    ASSERT_EQ(rendered.size(), screen.size());
    EXPECT_EQ(Ink_missing(screen, rendered), 0) << "screen ink missing from the file";
    EXPECT_EQ(Ink_missing(rendered, screen), 0) << "ink in the file not on the screen";
    // The Output button's metafile still draws the window's picture afterwards.
    const std::vector<std::string> texts = Metafile_texts();
    ASSERT_GT(texts.size(), 40u);
    const std::vector<std::string> words = Words_of(GetParam().texts(file));
    const std::vector<std::string> expected = Words_of(texts);
    ASSERT_EQ(words.size(), expected.size());
    int cut = 0;
    for (size_t i = 0; i < words.size(); ++i) {
        cut += words[i] != expected[i];
        EXPECT_TRUE(!words[i].empty() && expected[i].starts_with(words[i])) << expected[i];
    }
    EXPECT_EQ(cut, GetParam().cut_words);
}

INSTANTIATE_TEST_SUITE_P(Formats, VectorPictureTest, ::testing::ValuesIn(kVectorCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The canvas's pixel rules on the vector devices, rendered, are the screen canvas's pixels (to a
// renderer's faint fringe): line ends left out, rectangles ending a pixel short, dotted runs, wide
// lines' squares.
struct RuleCase {
    const char* name;
    std::function<void(vistrel::Canvas&)> draw;
};

const RuleCase kRuleCases[] = {
    {"LinesLeaveOutTheirEnds",
     [](vistrel::Canvas& c) {
         c.move_to(2, 3);
         c.line_to(12, 3);
         c.line_to(12, 11);
         c.move_to(20, 9);
         c.line_to(14, 9);
         c.line_to(14, 4);
     }},
    {"RectangleCoversLeftToRightLessOne",
     [](vistrel::Canvas& c) {
         c.set_brush_colour(0x00FF00);
         c.set_pen_colour(0xFF0000);
         c.rectangle(3, 2, 15, 10);
         c.rectangle(17, 4, 18, 12);
     }},
    {"PixelsAndDottedRuns",
     [](vistrel::Canvas& c) {
         for (int y = 0; y < 16; ++y) {
             if ((4 & y) == 0)
                 c.set_pixel(5, y, 0);
             if ((7 & y) == 0)
                 c.set_pixel(9, y, 0x0000FF);
         }
         for (int x = 0; x < 24; x += 3) c.set_pixel(x, 13, 0x800080);
         c.set_pixel(20, 2, 0);
     }},
    {"WideLinesStampSquares",
     [](vistrel::Canvas& c) {
         c.set_pen_width(2);
         c.move_to(3, 4);
         c.line_to(18, 4);
         c.line_to(18, 12);
         c.set_pen_width(3);
         c.move_to(6, 9);
         c.line_to(12, 9);
     }},
};

class PixelRuleTest : public PictureExportTest,
                      public ::testing::WithParamInterface<std::tuple<VectorCase, RuleCase>> {};

TEST_P(PixelRuleTest, VectorPixelsAreTheScreens) {
    const auto& [format, rule] = GetParam();
    const auto draw = [&rule](vistrel::PaintBox& box) {
        box.canvas().rectangle(-1, -1, 25, 17);  // white, unframed
        box.canvas().set_pen_colour(0);
        rule.draw(box.canvas());
    };
    app::ImagePaintBox screen_box(24, 16);
    draw(screen_box);
    screen_box.qt_canvas().end_painting();
    const fs::path file = home.dir / "rule";
    std::ofstream(file, std::ios::binary)
        << app::Picture_bytes(format.format, 24, 16, draw).toStdString();
    const QImage rendered = Rendered(file, format.render);
    const QImage expected = screen_box.image().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(rendered.size(), expected.size());
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb a = rendered.pixel(x, y);
            const QRgb b = expected.pixel(x, y);
            EXPECT_LE(std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                std::abs(qBlue(a) - qBlue(b))}),
                      16)
                << "at " << x << ", " << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rules, PixelRuleTest,
                         ::testing::Combine(::testing::ValuesIn(kVectorCases),
                                            ::testing::ValuesIn(kRuleCases)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    std::get<1>(info.param).name;
                         });

// A file that cannot be written: the system's reason, and the folder as it was.
struct UnwritableCase {
    const char* name;
    const char* path;  // under the scratch folder
    const char* reason;
};

const UnwritableCase kUnwritableCases[] = {
    {"MissingFolder", "no/such/picture.png", "No such file or directory"},
    {"Folder", "junk", "Is a directory"},
};

class UnwritableTest : public PictureExportTest,
                       public ::testing::WithParamInterface<UnwritableCase> {};

TEST_P(UnwritableTest, GivesTheSystemsReason) {
    const auto listing = [this] {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(home.dir)) names.push_back(e.path());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> before = listing();
    for (const PictureFormat format :
         {PictureFormat::Png, PictureFormat::Svg, PictureFormat::Pdf}) {
        EXPECT_EQ(app::Save_picture(format, (home.dir / GetParam().path).string(), width, height),
                  GetParam().reason);
    }
    EXPECT_EQ(listing(), before);
    EXPECT_EQ(vistrel::plot.PlotPaintBox, form->PaintBox1);
}

INSTANTIATE_TEST_SUITE_P(Paths, UnwritableTest, ::testing::ValuesIn(kUnwritableCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PictureFormatOf, NamedByTheExtension) {
    const std::pair<const char*, std::optional<PictureFormat>> cases[] = {
        {"a.png", PictureFormat::Png}, {"dir/B.SVG", PictureFormat::Svg},
        {"c.Pdf", PictureFormat::Pdf}, {"d.wmf", std::nullopt},
        {"png", std::nullopt},         {"e.pdf/picture", std::nullopt},
        {"f.svg.txt", std::nullopt},
    };
    for (const auto& [path, format] : cases)
        EXPECT_EQ(app::Picture_format_of(path), format) << path;
}

}  // namespace
