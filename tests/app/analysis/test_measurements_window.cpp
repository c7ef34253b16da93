// The measurements window against the simulated scope: opened by its button and by Ctrl+M
// beside the main window, a column per shown channel or combination, values that match the
// simulator's signals in closed form, refreshed after every acquisition, Copy, and a main window
// whose controls, picture and metafile stay as they were; a column per reference, equal to the
// live one for the live trace saved and loaded back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QImage>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <cmath>
#include <fstream>
#include <sstream>

#include "app/analysis/measure_table.h"
#include "app/analysis/measurements_window.h"
#include "app/output/csv_export.h"
#include "app/picture/references.h"
#include "app/support_window.h"
#include "app/window/open_capture.h"
#include "app/window/paint_box.h"
#include "app/window/radio_group.h"

namespace {

namespace fs = std::filesystem;

class MeasurementsWindowTest : public testing_support::WindowTest {
  protected:
    testing_support::ScratchHome home;

    void TearDown() override {
        app::Clear_references();
        WindowTest::TearDown();
    }
    void open_measurements() {
        click(form->MeasurementsButton);
        ASSERT_NE(form->Measurements, nullptr);
        ASSERT_TRUE(form->Measurements->isVisible());
    }
    // The cell of the window's table in the row of `quantity`, column `col`.
    std::string cell(const char* quantity, int col = 0) const {
        const QTableWidget* t = form->Measurements->Table;
        for (int row = 0; row < t->rowCount(); ++row) {
            if (t->verticalHeaderItem(row)->text() == QString::fromUtf8(quantity))
                return t->item(row, col)->text().toStdString();
        }
        ADD_FAILURE() << "no row " << quantity;
        return {};
    }
    QStringList columns() const {
        QStringList names;
        const QTableWidget* t = form->Measurements->Table;
        for (int col = 0; col < t->columnCount(); ++col)
            names << t->horizontalHeaderItem(col)->text();
        return names;
    }
    // The value measured for `quantity` in column `col`, as the table holds it.
    static long double value(const char* quantity, std::size_t col = 0) {
        const auto t = app::Build_measure_table();
        const auto& rows = app::Measure_rows();
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (std::string(rows[i].quantity) == quantity) {
                EXPECT_TRUE(t.columns.at(col).values[i].exists) << t.columns[col].values[i].why;
                return t.columns.at(col).values[i].value;
            }
        ADD_FAILURE() << "no row " << quantity;
        return 0;
    }
    static std::string slurp(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

TEST_F(MeasurementsWindowTest, ButtonSitsInTheLeftStripOverNoOtherControl) {
    QPushButton* b = form->MeasurementsButton;
    EXPECT_EQ(b->objectName(), "MeasurementsButton");
    EXPECT_EQ(b->text(), "Measurements");
    EXPECT_EQ(b->parentWidget(), form->Content);
    EXPECT_LE(b->geometry().right(), 185);
    EXPECT_TRUE(b->toolTip().contains("Ctrl+M"));
    EXPECT_TRUE(b->autoDefault());
    EXPECT_FALSE(b->isDefault());  // Enter stays Quit's
    for (QObject* o : form->Content->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w == nullptr || w == b || w->isWindow())
            continue;
        EXPECT_FALSE(w->geometry().intersects(b->geometry())) << w->objectName().toStdString();
    }
}

TEST_F(MeasurementsWindowTest, OpensNonModalBesideTheMainWindowByButtonAndCtrlM) {
    EXPECT_EQ(form->Measurements, nullptr);  // nothing made while unused
    open_measurements();
    app::MeasurementsWindow* w = form->Measurements;
    EXPECT_TRUE(w->isWindow());
    EXPECT_FALSE(w->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(w->windowTitle(), "Measurements");
    w->close();
    ASSERT_FALSE(w->isVisible());
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_M, Qt::ControlModifier);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(form->Measurements, w);  // the same window again
    // The main window stays usable: a display choice acquires while the window is open.
    open_connection();
    click(form->RadioGroup1->button(0));
    EXPECT_EQ(columns(), QStringList{"Ch 1"});
}

struct SignalCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> sim;
    const char* quantity;
    const char* unit;
    double expected, tolerance;  // absolute
};

class SimulatorSignals : public MeasurementsWindowTest,
                         public ::testing::WithParamInterface<SignalCase> {};

// The simulator's 1 kHz signals of 1 V peak, 100 samples per period over five periods.
TEST_P(SimulatorSignals, MatchTheirClosedForm) {
    const auto& c = GetParam();
    for (const auto& [key, v] : c.sim) sim.set(key, v);
    open_connection();
    click(form->RadioGroup1->button(0));
    open_measurements();
    const long double v = value(c.quantity);
    EXPECT_NEAR(static_cast<double>(v), c.expected, c.tolerance);
    EXPECT_EQ(cell(c.quantity), app::Cell_text({true, v, {}}, c.unit));
}

const double kRms = 1.0 / std::sqrt(2.0);

INSTANTIATE_TEST_SUITE_P(
    Measurements, SimulatorSignals,
    ::testing::Values(
        // Within 0.1 % (frequency), 0.5 % (amplitudes), 1 % (duty cycle), a sample (edges).
        SignalCase{"sine_frequency", {}, "Frequency", "Hz", 1000.0, 1.0},
        SignalCase{"sine_peak_to_peak", {}, "Peak-to-peak", "V", 2.0, 0.01},
        SignalCase{"sine_rms", {}, "RMS", "V", kRms, 0.005 * kRms},
        SignalCase{"sine_at_twenty_samples_per_period_rms",
                   {{"HP_SIM_CH1_FREQUENCY", "5000"}},
                   "RMS",
                   "V",
                   kRms,
                   0.005 * kRms},
        SignalCase{
            "square_duty_cycle", {{"HP_SIM_CH1_SHAPE", "square"}}, "Duty cycle", "%", 50.0, 1.0},
        SignalCase{"square_rms", {{"HP_SIM_CH1_SHAPE", "square"}}, "RMS", "V", 1.0, 0.005},
        SignalCase{"triangle_frequency_with_noise",
                   {{"HP_SIM_CH1_SHAPE", "triangle"}, {"HP_SIM_CH1_NOISE", "0.02"}},
                   "Frequency",
                   "Hz",
                   1000.0,
                   1.0},
        // Channel 2's usual signal: a 2 kHz triangle, 25 samples per ramp of 250 us.
        SignalCase{"triangle_rise_time_within_a_sample",
                   {{"HP_SIM_CH1_SHAPE", "triangle"},
                    {"HP_SIM_CH1_FREQUENCY", "2000"},
                    {"HP_SIM_CH1_AMPLITUDE", "0.5"},
                    {"HP_SIM_CH1_OFFSET", "0.2"}},
                   "Rise time",
                   "s",
                   200e-6,
                   10e-6},
        SignalCase{"offset_sine_mean",
                   {{"HP_SIM_CH1_OFFSET", "0.25"}, {"HP_SIM_CH1_AMPLITUDE", "0.5"}},
                   "Mean",
                   "V",
                   0.25,
                   0.0025}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MeasurementsWindowTest, ClippedRecordGivesNotAvailableForItsVoltages) {
    sim.set("HP_SIM_CH1_AMPLITUDE", "2");  // beyond the 8-bit codes of 10 mV steps
    open_connection();
    click(form->RadioGroup1->button(0));
    open_measurements();
    EXPECT_EQ(cell("Maximum"), "n/a (clipped at the scope's code limits)");
    EXPECT_EQ(cell("RMS"), "n/a (clipped at the scope's code limits)");
    EXPECT_EQ(cell("Frequency"), "1.000 kHz");
}

TEST_F(MeasurementsWindowTest, FollowsEveryAcquisitionAndDisplayChoice) {
    sim.set("HP_SIM_CH1_NOISE", "0.05");
    open_connection();
    click(form->RadioGroup1->button(0));
    open_measurements();
    EXPECT_EQ(columns(), QStringList{"Ch 1"});
    const std::string first = cell("RMS");
    click(form->Button1);  // Refresh: a new record, other noise
    EXPECT_NE(cell("RMS"), first);
    EXPECT_EQ(cell("RMS"), app::Cell_text({true, value("RMS"), {}}, "V"));
    click(form->RadioGroup2->button(1));  // channel 2's FFT
    EXPECT_EQ(columns(), (QStringList{"Ch 1", "Ch 2"}));
    click(form->RadioGroup3->button(2));  // "Ch 1 - Ch 2"
    EXPECT_EQ(columns(), QStringList{"Ch 1 - Ch 2"});
    click(form->RadioGroup3->button(0));  // "Ch 1 and Ch 2"
    EXPECT_EQ(columns(), (QStringList{"Ch 1", "Ch 2"}));
}

TEST_F(MeasurementsWindowTest, CopyPutsTheShownTableOnTheClipboardTabSeparated) {
    open_connection();
    click(form->RadioGroup1->button(2));
    open_measurements();
    QApplication::clipboard()->clear();
    QTest::mouseClick(form->Measurements->CopyButton, Qt::LeftButton);
    const std::string text = QApplication::clipboard()->text().toStdString();
    EXPECT_EQ(text, app::Table_tsv(app::Build_measure_table()));
    EXPECT_EQ(text.rfind("Quantity\tCh 1\nMaximum\t", 0), 0u);
    EXPECT_NE(text.find("Frequency\t" + cell("Frequency") + "\n"), std::string::npos);
}

TEST_F(MeasurementsWindowTest, PictureAndMetafileAreTheSameWithTheWindowOpen) {
    open_connection();
    click(form->RadioGroup1->button(2));
    const QImage before = form->PaintBox1->grab().toImage();
    choose_output(0);
    click(form->Button4);
    const std::string wmf_before = slurp(home.dir / "vistrel.wmf");
    ASSERT_GT(wmf_before.size(), 268u);
    fs::remove(home.dir / "vistrel.wmf");

    open_measurements();
    form->Measurements->refresh();
    EXPECT_EQ(form->PaintBox1->grab().toImage(), before);
    click(form->Button4);
    EXPECT_EQ(slurp(home.dir / "vistrel.wmf"), wmf_before);
}

TEST_F(MeasurementsWindowTest, ReferenceOfTheLiveTraceGetsAnEqualColumnUntilCleared) {
    sim.set("HP_SIM_CH1_NOISE", "0.05");
    open_connection();
    click(form->RadioGroup1->button(0));
    open_measurements();
    const std::vector<std::string> saved = app::Save_csv((home.dir / "good.csv").string()).written;
    ASSERT_EQ(saved.size(), 1u);
    const std::string name = fs::path(saved[0]).filename().string();
    ASSERT_TRUE(app::Reference_in_window(*form, saved[0], app::ReferenceGraph::Ch1Waveform));
    EXPECT_EQ(columns(), (QStringList{"Ch 1", QString::fromStdString("ref: " + name)}));
    for (const auto& row : app::Measure_rows()) {
        SCOPED_TRACE(row.quantity);
        if (std::string(row.quantity).rfind("Scope ", 0) == 0)
            EXPECT_EQ(cell(row.quantity, 1), "n/a (not measured by the scope)");
        else
            EXPECT_EQ(cell(row.quantity, 1), cell(row.quantity, 0));
    }
    // A new record differs from the reference, which stays.
    click(form->Button1);
    EXPECT_EQ(columns().size(), 2);
    EXPECT_NE(cell("RMS", 1), cell("RMS", 0));
    app::Clear_references_in_window(*form);
    EXPECT_EQ(columns(), QStringList{"Ch 1"});
}

}  // namespace
