// The arithmetic of zoom, pan and cursors, free of the window.
//
// Faults caught: a wheel zoom that moves the value under the pointer, zooming in without end
// (fewer than four samples across) or out without end (beyond four times the record), a pan that
// leaves the data behind, a box dragged right to left taken as an empty view, a click taken to
// the sample one off (ties, the first and the last sample), a pixel mapped through the wrong
// edge of the plot area.
#include <gtest/gtest.h>

#include <cmath>

#include "app/examine/graph_view.h"

namespace {

using app::examine::Span;

constexpr Span kWhole{0.0, 10.0};
constexpr double kMin = 0.04;  // four samples of 0.01

struct SpanCase {
    const char* name;
    Span result;
    Span expected;
};

void Expect_spans(const SpanCase* begin, const SpanCase* end) {
    for (const SpanCase* c = begin; c != end; ++c) {
        SCOPED_TRACE(c->name);
        EXPECT_NEAR(c->result.lo, c->expected.lo, 1e-12);
        EXPECT_NEAR(c->result.hi, c->expected.hi, 1e-12);
    }
}

TEST(ZoomLimits, WidthAndCentreAreHeld) {
    using app::examine::Limit;
    const SpanCase cases[] = {
        {"inside_stays", Limit({2, 4}, kWhole, kMin), {2, 4}},
        {"narrower_than_four_samples_widens_about_its_centre",
         Limit({5, 5.01}, kWhole, kMin),
         {4.985, 5.025}},
        {"wider_than_four_records_shrinks_about_its_centre",
         Limit({-30, 50}, kWhole, kMin),
         {-10, 30}},
        {"centre_beyond_the_end_comes_back_to_the_end", Limit({12, 14}, kWhole, kMin), {9, 11}},
        {"centre_before_the_start_comes_back_to_the_start", Limit({-3, -1}, kWhole, kMin), {-1, 1}},
        {"whole_without_width_is_returned", Limit({1, 2}, {3, 3}, kMin), {3, 3}},
        {"not_finite_view_is_the_whole", Limit({NAN, 2}, kWhole, kMin), {0, 10}},
    };
    Expect_spans(std::begin(cases), std::end(cases));
}

TEST(ZoomLimits, WheelZoomKeepsThePointersValue) {
    using app::examine::Zoom_about;
    const long double f = app::examine::kWheelFactor;
    const SpanCase cases[] = {
        {"one_notch_in_about_the_middle", Zoom_about(kWhole, 5, f, kWhole, kMin), {1, 9}},
        {"one_notch_in_about_the_left_quarter",
         Zoom_about(kWhole, 2.5, f, kWhole, kMin),
         {0.5, 8.5}},
        {"one_notch_out_about_the_middle", Zoom_about({1, 9}, 5, 1 / f, kWhole, kMin), {0, 10}},
        {"far_in_stops_at_four_samples", Zoom_about(kWhole, 5, 1e9L, kWhole, kMin), {4.98, 5.02}},
        {"far_out_stops_at_four_records", Zoom_about(kWhole, 5, 1e-9L, kWhole, kMin), {-15, 25}},
    };
    Expect_spans(std::begin(cases), std::end(cases));
}

TEST(ZoomLimits, PanAndBox) {
    using app::examine::Box;
    using app::examine::Pan;
    const SpanCase cases[] = {
        {"pan_right", Pan({2, 4}, 1.5, kWhole, kMin), {3.5, 5.5}},
        {"pan_stops_half_a_graph_beyond_the_end", Pan({2, 4}, 100, kWhole, kMin), {9, 11}},
        {"pan_stops_half_a_graph_before_the_start", Pan({2, 4}, -100, kWhole, kMin), {-1, 1}},
        {"box_left_to_right", Box(2, 3, kWhole, kMin), {2, 3}},
        {"box_right_to_left", Box(3, 2, kWhole, kMin), {2, 3}},
        {"box_of_one_sample_widens_to_four", Box(5, 5.005, kWhole, kMin), {4.9825, 5.0225}},
    };
    Expect_spans(std::begin(cases), std::end(cases));
}

// Samples at 0.01 s from index 1 (0.01 s) to 1000 (10 s).
class DrawnRecord : public ::testing::Test {
  protected:
    model::SampleArray x{};
    model::SampleArray y{};
    app::examine::DrawnGraph d;
    void SetUp() override {
        for (int j = 1; j <= 1000; ++j) {
            x[static_cast<size_t>(j)] = j * 0.01;
            y[static_cast<size_t>(j)] = j;
        }
        d.valid = true;
        d.left = 40;
        d.bottom = 400;
        d.width = 1000;
        d.height = 200;
        d.x = {0, 10};
        d.y = {-1, 1};
        d.whole_x = {0, 10};
        d.whole_y = {-1, 1};
        d.first = 1;
        d.last = 1000;
        d.series[0] = {&x, &y, 0, ""};
        d.series_count = 1;
    }
};

TEST_F(DrawnRecord, NearestSample) {
    struct Case {
        const char* name;
        double at;
        int32_t sample;
    };
    const Case cases[] = {
        {"exactly_on_a_sample", 1.23, 123},
        {"just_before_the_midpoint_goes_back", 1.2349, 123},
        {"just_after_the_midpoint_goes_on", 1.2351, 124},
        {"before_the_first_is_the_first", -5, 1},
        {"after_the_last_is_the_last", 50, 1000},
        {"the_last_itself", 10, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(app::examine::Nearest_sample(d, c.at), c.sample);
    }
    d.series[0].x = nullptr;
    EXPECT_EQ(app::examine::Nearest_sample(d, 1), 0) << "a graph without samples";
}

TEST_F(DrawnRecord, PixelsToRecordUnits) {
    struct Case {
        const char* name;
        double value;
        double expected;
    };
    const Case cases[] = {
        {"left_edge_is_the_start", app::examine::X_at(d, 40), 0},
        {"right_edge_is_the_end", app::examine::X_at(d, 1040), 10},
        {"middle_column", app::examine::X_at(d, 540), 5},
        {"bottom_row_is_the_lowest_value", app::examine::Y_at(d, 400), -1},
        {"top_row_is_the_highest_value", app::examine::Y_at(d, 200), 1},
        {"sample_step", app::examine::Sample_step(d), 0.01},
        {"narrowest_time_view_is_four_samples", app::examine::Min_x_width(d), 0.04},
        {"narrowest_value_view", app::examine::Min_y_width(d), 2.0 / 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(c.value, c.expected, 1e-12);
    }
}

TEST_F(DrawnRecord, GraphUnderThePointer) {
    app::examine::Examine = {};
    app::examine::Examine.graphs[2].drawn = d;
    struct Case {
        const char* name;
        int column;
        int row;
        int graph;
    };
    const Case cases[] = {
        {"inside", 500, 300, 2},
        {"top_left_corner", 40, 200, 2},
        {"left_of_it", 39, 300, -1},
        {"below_it_on_the_labels", 500, 401, -1},
        {"above_it_on_the_title", 500, 199, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(app::examine::Graph_at(c.column, c.row), c.graph);
    }
    app::examine::Examine = {};
}

}  // namespace
