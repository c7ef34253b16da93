// Reference traces on the live graphs of the simulated scope: a reference equal to the live trace
// is covered by it exactly (only its "ref:" line shows); a shifted one is clipped at the axes of
// the live graph. References stay across acquisitions and display changes, reach the metafile,
// stay out of the data files, and leave no trace once cleared.
#include <gtest/gtest.h>

#include <QImage>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/output/csv_export.h"
#include "app/picture/display.h"
#include "app/picture/references.h"
#include "app/reopen/opened_capture.h"
#include "app/support_window.h"
#include "app/window/open_capture.h"
#include "app/window/paint_box.h"
#include "app/window/radio_group.h"
#include "model/waveform.h"
#include "vistrel/output.h"
#include "vistrel/state.h"
#include "vistrel/support_wmf.h"

namespace {

namespace fs = std::filesystem;

QRgb Rgb(vistrel::Colour c) {
    return qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The plot area of the graph drawn last, as the plotting unit placed it: columns left..right,
// rows top..bottom, edges included.
struct Area {
    int left, right, top, bottom;
};
Area Plot_area() {
    const vistrel::Plot& p = vistrel::plot;
    return {p.PlotLeft, p.PlotLeft + p.PlotWidth, p.PlotBottom - p.PlotHeight, p.PlotBottom};
}

struct Pixels {
    int inside = 0;
    int outside = 0;
    int on_top_edge = 0;
    int on_right_edge = 0;
};
// Pixels of the colour (drawn by the line painter, not a text's anti-aliased edge: the rows of
// the "ref:" lines under the plot area's top and the titles above it are left out).
Pixels Count(const QImage& image, QRgb colour, const Area& a) {
    Pixels n;
    const int band_top = a.top + 2;
    const int band_bottom = band_top + 2 * vistrel::plot.CharHeight;
    for (int y = a.top - 4; y < image.height(); ++y) {
        if (y >= band_top && y < band_bottom)
            continue;
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) & 0xFFFFFF) != (colour & 0xFFFFFF))
                continue;
            const bool in = x >= a.left && x <= a.right && y >= a.top && y <= a.bottom;
            ++(in ? n.inside : n.outside);
            n.on_top_edge += in && y == a.top;
            n.on_right_edge += in && x >= a.right - 1;
        }
    }
    return n;
}

class References : public testing_support::WindowTest {
  protected:
    testing_support::ScratchHome home;
    void TearDown() override {
        app::Clear_references();
        app::Close_capture();
        WindowTest::TearDown();
    }
    QImage Picture() const {
        form->PaintBox1->repaint();
        return form->PaintBox1->image().copy();
    }
    // The shown graph saved as CSV, its rows moved by dt seconds and dv volts.
    std::string Saved(const std::string& name, double dt, double dv) const {
        const std::vector<std::string> files = app::Save_csv((home.dir / name).string()).written;
        EXPECT_EQ(files.size(), 1u);
        std::ifstream in(files.front());
        std::string text;
        bool rows = false;
        for (std::string line; std::getline(in, line);) {
            if (rows) {
                const auto comma = line.find(',');
                char moved[64];
                std::snprintf(moved, sizeof moved, "%.17g,%.17g",
                              std::stod(line.substr(0, comma)) + dt,
                              std::stod(line.substr(comma + 1)) + dv);
                line = moved;
            }
            rows = rows || line.rfind("time_s", 0) == 0 || line.rfind("frequency_Hz", 0) == 0;
            text += line + "\n";
        }
        std::ofstream(files.front()) << text;
        return files.front();
    }
};

TEST_F(References, EqualIsCoveredAndShiftedIsClippedAtTheAxes) {
    const struct {
        const char* meaning;
        int display_item;  // channel 1's "Waveform" or "FFT"
        app::ReferenceGraph graph;
        double dt_records;  // the shift in record lengths
        double dv_spans;    // and in the live data's voltage spans
        bool covered;       // no reference pixel shows
        bool top_clipped;   // reference pixels on the top edge
        bool right_clipped;
    } cases[] = {
        {"EqualWaveformIsCovered", 0, app::ReferenceGraph::Ch1Waveform, 0, 0, true, false, false},
        {"EqualSpectrumIsCovered", 1, app::ReferenceGraph::Ch1Spectrum, 0, 0, true, false, false},
        {"RaisedWaveformIsClippedAtTheTop", 0, app::ReferenceGraph::Ch1Waveform, 0, 0.75, false,
         true, false},
        {"LaterWaveformIsClippedAtTheRight", 0, app::ReferenceGraph::Ch1Waveform, 0.5, 0, false,
         false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.meaning);
        click(form->RadioGroup1->button(c.display_item));
        const QImage without = Picture();
        const Area area = Plot_area();
        const model::TWaveformRecord& r = model::Waveforms[1];
        const std::string file =
            Saved("ref.csv", c.dt_records * (r.x_max - r.x_min), c.dv_spans * (r.v_max - r.v_min));
        ASSERT_EQ(app::Load_reference(file, c.graph), "");
        const QImage with = Picture();
        const QRgb light = Rgb(app::Lighter(app::Reference_colour(c.graph)));
        const Pixels n = Count(with, light, area);
        EXPECT_EQ(n.outside, 0);
        EXPECT_EQ(n.inside == 0, c.covered) << n.inside;
        EXPECT_EQ(n.on_top_edge > 0, c.top_clipped);
        EXPECT_EQ(n.on_right_edge > 0, c.right_clipped);
        if (c.covered) {
            // Only the "ref: ref-ch1..." line differs, in the band under the plot area's top.
            const int band_top = area.top + 2;
            const int band_bottom = band_top + vistrel::plot.CharHeight;
            int elsewhere = 0;
            int in_band = 0;
            for (int y = 0; y < with.height(); ++y) {
                for (int x = 0; x < with.width(); ++x) {
                    if (with.pixel(x, y) == without.pixel(x, y))
                        continue;
                    ++(y >= band_top && y < band_bottom ? in_band : elsewhere);
                }
            }
            EXPECT_EQ(elsewhere, 0);
            EXPECT_GT(in_band, 0);
        }
        app::Clear_references();
        EXPECT_EQ(Picture(), without);
        form->RadioGroup1->setItemIndex(app::kDisplayOff);
    }
}

TEST_F(References, StayAcrossAcquisitionsReachThePicturesOnlyAndGoWhenCleared) {
    click(form->RadioGroup1->button(0));
    const std::string csv_before = Read(app::Save_csv((home.dir / "a.csv").string()).written[0]);
    bool ok = false;
    vistrel::SavePlotAsMetafile((home.dir / "plain.wmf").string(), false, ok);
    ASSERT_TRUE(ok);
    const std::string ref =
        Saved("ref.csv", 0, 0.5 * (model::Waveforms[1].v_max - model::Waveforms[1].v_min));
    ASSERT_TRUE(app::Reference_in_window(*form, ref, app::ReferenceGraph::Ch1Waveform));
    const QRgb light = Rgb(app::Lighter(app::kRed));
    const Area area = Plot_area();
    const auto shown = [&] { return Count(Picture(), light, area).inside > 0; };
    EXPECT_TRUE(shown());
    click(form->Button1);  // Refresh
    EXPECT_TRUE(shown());
    click(form->RadioGroup1->button(2));  // Waveform + FFT
    // The metafile draws it with a dashed pen in the lighter red (a palette-relative colour, as
    // all of its pens); the data files hold only the live data.
    vistrel::SavePlotAsMetafile((home.dir / "ref.wmf").string(), false, ok);
    ASSERT_TRUE(ok);
    int dashed = 0;
    for (const auto& rec :
         wmf_support::ParseRecords(wmf_support::ReadBytes((home.dir / "ref.wmf").string()))) {
        dashed += rec.function == 0x02FA && rec.params.size() >= 5 && rec.params[0] == 1 &&
                  rec.params[3] == 0x80FF && (rec.params[4] & 0xFF) == 0x80;
    }
    EXPECT_EQ(dashed, 1);
    click(form->RadioGroup1->button(0));
    const std::string csv_with = Read(app::Save_csv((home.dir / "b.csv").string()).written[0]);
    const auto rows = [](const std::string& t) { return t.substr(t.find("time_s")); };
    EXPECT_EQ(rows(csv_with), rows(csv_before));
    // Cleared: gone from the screen, and the metafile is again the one without references.
    form->findChild<QPushButton*>("ClearReferencesButton")->click();
    EXPECT_FALSE(shown());
    EXPECT_EQ(app::Reference_count(), 0);
    click(form->Button1);
    vistrel::SavePlotAsMetafile((home.dir / "cleared.wmf").string(), false, ok);
    EXPECT_EQ(Read(home.dir / "cleared.wmf"), Read(home.dir / "plain.wmf"));
}

TEST_F(References, TheCaptureCommandDrawsThemInItsPictures) {
    click(form->RadioGroup1->button(0));
    const std::string ref =
        Saved("ref.csv", 0, 0.5 * (model::Waveforms[1].v_max - model::Waveforms[1].v_min));
    const fs::path png = home.dir / "capture.png";
    const std::string program = std::string(std::getenv("HP_BUILD_DIR")) + "/app/hp54200a";
    const std::string command = "env XDG_CONFIG_HOME=/nonexistent/hp54200a '" + program +
                                "' capture --ch1 waveform --png '" + png.string() +
                                "' --reference '1=" + ref + "' >/dev/null 2>&1 </dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const QImage image(QString::fromStdString(png.string()));
    ASSERT_FALSE(image.isNull());
    form->PaintBox1->repaint();
    const Pixels n = Count(image, Rgb(app::Lighter(app::kRed)), Plot_area());
    EXPECT_GT(n.inside, 0);
    EXPECT_EQ(n.outside, 0);
}

}  // namespace
