// The main window against the simulated scope: its controls as laid out, the handlers' flag
// logic, and the window operated with real clicks and keys, checked on the status list, the
// recorded boxes and waits, and the simulator's bus traffic log.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/picture/window_state.h"
#include "app/support_window.h"
#include "app/window/main_window.h"
#include "app/window/paint_box.h"
#include "app/window/radio_group.h"
#include "model/waveform.h"
#include "recording_platform.h"
#include "scope/gpib_driver.h"
#include "scope/scope_link.h"
#include "sim_harness.h"

namespace {

using app::RadioGroup;
using app::TForm1;
using testing_support::count_of;
using MainWindowTest = testing_support::WindowTest;

// ---- The controls as laid out ------------------------------------------------------------

struct GroupCase {
    const char* name;
    const char* caption;
    QStringList items;
    int index;
    QRect geometry;
};

TEST_F(MainWindowTest, RadioGroupsHaveTheirCaptionsItemsSelectionsAndPlaces) {
    const QStringList display = {"Waveform", "FFT", "Waveform + FFT", "Off"};
    const GroupCase cases[] = {
        {"RadioGroup1", "Channel 1 Display", display, 3, {8, 8, 153, 105}},
        {"RadioGroup2", "Channel 2 Display", display, 3, {8, 120, 153, 105}},
        {"RadioGroup3",
         "Channels 1,2 Display",
         {"Ch 1 and Ch 2", "Ch 1 + Ch 2", "Ch 1 - Ch 2", "Off"},
         3,
         {8, 232, 153, 97}},
        {"RadioGroup4", "Mode", {"Normal", "Inverted"}, 0, {0, 496, 89, 73}},
        {"RadioGroup6", "Mode", {"Normal", "Inverted"}, 0, {96, 496, 89, 73}},
        {"RadioGroup8", "Averaging", {"Off", "On"}, 0, {0, 576, 89, 65}},
        {"RadioGroup9", "Averaging", {"Off", "On"}, 0, {96, 576, 89, 65}},
        {"RadioGroup5", "Coupling", {"AC", "DC"}, 1, {0, 648, 89, 73}},
        {"RadioGroup7", "Coupling", {"AC", "DC"}, 1, {96, 648, 89, 73}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto* g = form->findChild<RadioGroup*>(c.name);
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(g->title(), c.caption);
        EXPECT_EQ(g->items(), c.items);
        EXPECT_EQ(g->ItemIndex(), c.index);
        EXPECT_TRUE(g->button(c.index)->isChecked());
        EXPECT_EQ(g->geometry(), c.geometry);
        EXPECT_EQ(g->parentWidget(), form->Content);
    }
    EXPECT_EQ(form->RadioGroup8->font().pixelSize(), 15);
}

struct ButtonCase {
    const char* name;
    const char* caption;
    QRect geometry;
    bool bold;
};

TEST_F(MainWindowTest, ButtonsHaveTheirCaptionsPlacesAndWeights) {
    const ButtonCase cases[] = {
        {"Button1", "Refresh", {16, 336, 57, 41}, true},
        {"Button4", "Output", {96, 336, 57, 41}, true},
        {"Button5", "Auto- Scale", {16, 384, 57, 41}, false},
        {"Button2", "Quit", {96, 384, 57, 41}, false},
        {"Button3", "About", {976, 848, 89, 33}, false},
        {"ConnectionButton", "Connection...", {0, 784, 89, 25}, false},
        {"SaveAsButton", "Save as...", {96, 784, 89, 25}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto* b = form->findChild<QPushButton*>(c.name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text(), c.caption);
        EXPECT_EQ(b->geometry(), c.geometry);
        EXPECT_EQ(b->font().bold(), c.bold);
        EXPECT_EQ(b->isDefault(), std::string(c.name) == "Button2");
        EXPECT_TRUE(b->autoDefault());  // Enter on it clicks it, not Quit
    }
}

struct ComboCase {
    const char* name;
    QStringList items;
    bool editable;
    int index;
    const char* text;
    QPoint place;
    int width;
};

TEST_F(MainWindowTest, ComboBoxesHaveTheirItemsTextsAndPlaces) {
    const QStringList counts = {"2", "5", "10", "20", "50"};
    const ComboCase cases[] = {
        {"ComboBox1", {"WMF", "Clipboard", "Textfile"}, false, -1, "", {24, 432}, 121},
        {"ComboBox2", counts, true, -1, "ComboBox2", {0, 728}, 89},
        {"ComboBox3", counts, true, 1, "5", {96, 728}, 89},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto* box = form->findChild<QComboBox*>(c.name);
        ASSERT_NE(box, nullptr);
        QStringList items;
        for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
        EXPECT_EQ(items, c.items);
        EXPECT_EQ(box->isEditable(), c.editable);
        EXPECT_EQ(box->currentIndex(), c.index);
        EXPECT_EQ(box->currentText(), c.text);
        EXPECT_EQ(box->pos(), c.place);
        EXPECT_EQ(box->width(), c.width);
    }
}

struct LabelCase {
    const char* name;
    const char* text;
    QPoint place;
    QColor colour;
};

TEST_F(MainWindowTest, LabelsHaveTheirTextsPlacesAndColours) {
    const QColor black = form->Label1->palette().color(QPalette::WindowText);
    const LabelCase cases[] = {
        {"Label1", "Data from scope", {814, 858}, black},
        {"Label2", "Output Format", {40, 456}, black},
        {"Label3", "CHANNEL 1", {8, 480}, QColor(255, 0, 0)},
        {"Label4", "CHANNEL 2", {104, 480}, QColor(0, 128, 0)},
        {"Label5", "Times to Average", {32, 752}, black},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto* l = form->findChild<QLabel*>(c.name);
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->text(), c.text);
        EXPECT_EQ(l->pos(), c.place);
        EXPECT_EQ(l->palette().color(QPalette::WindowText), c.colour);
    }
}

TEST_F(MainWindowTest, WindowPlotSurfaceAndStatusListAreLaidOut) {
    EXPECT_EQ(form->objectName(), "Form1");
    EXPECT_TRUE(form->windowTitle().contains("HP 54200A"));
    EXPECT_TRUE(form->windowTitle().contains("GPIB"));
    EXPECT_EQ(form->frameGeometry().size(), QSize(933, 753));
    EXPECT_EQ(form->frameGeometry().topLeft(), QPoint(184, 113));
    EXPECT_EQ(form->palette().color(QPalette::Window), QColor(192, 192, 192));
    EXPECT_EQ(form->font().pixelSize(), 11);
    // The panel is larger than the window both ways, and opens scrolled down 216 pixels.
    EXPECT_GT(form->Content->width(), form->ScrollBox->viewport()->width());
    EXPECT_GT(form->Content->height(), form->ScrollBox->viewport()->height());
    EXPECT_EQ(form->ScrollBox->verticalScrollBar()->value(), 216);
    EXPECT_EQ(form->ScrollBox->horizontalScrollBar()->value(), 0);

    EXPECT_EQ(form->PaintBox1->geometry(), QRect(192, 8, 1073, 809));
    EXPECT_EQ(form->PaintBox1->image().size(), QSize(1073, 809));
    EXPECT_EQ(form->ListBox1->objectName(), "ListBox1");
    EXPECT_EQ(form->ListBox1->geometry(), QRect(410, 826, 400, 100));
    EXPECT_EQ(form->ListBox1->count(), 0);
    const QPalette pal = form->ListBox1->palette();
    EXPECT_EQ(pal.color(QPalette::Base), QColor(Qt::black));
    EXPECT_EQ(pal.color(QPalette::Text), QColor(0, 128, 0));
    EXPECT_TRUE(form->ListBox1->font().bold());
    EXPECT_EQ(form->ListBox1->font().pixelSize(), 13);
}

TEST_F(MainWindowTest, StartLoadsNoDriverAndRunsNoHandler) {
    EXPECT_FALSE(scope::Gpib_library_loaded());
    EXPECT_TRUE(sim.log().empty());
    EXPECT_TRUE(recorded.platform.boxes.empty());
    EXPECT_EQ(model::Waveforms[2].average_count, 0);  // the box shows "5", nothing picked yet
    EXPECT_EQ(model::Waveforms[1].coupling, 0);       // the groups show "DC"
}

// ---- The status list ---------------------------------------------------------------------

TEST_F(MainWindowTest, StatusLinesAreAppendedWithoutScrollingToThem) {
    for (int i = 0; i < 30; ++i) form->send_message("line " + std::to_string(i));
    platform::send_message("through the seam");
    ASSERT_EQ(form->ListBox1->count(), 31);
    EXPECT_EQ(form->ListBox1->item(0)->text(), "line 0");
    EXPECT_EQ(form->ListBox1->item(30)->text(), "through the seam");
    EXPECT_EQ(form->ListBox1->visualItemRect(form->ListBox1->item(0)).height(), 16);
    EXPECT_EQ(form->ListBox1->verticalScrollBar()->value(), 0);
}

// ---- Handlers before the connection is open ----------------------------------------------

TEST_F(MainWindowTest, RefreshWithNothingShownOnlyRepaints) {
    const int before = paints();
    click(form->Button1);
    EXPECT_EQ(paints(), before + 1);
    EXPECT_FALSE(scope::Gpib_library_loaded());
    EXPECT_TRUE(sim.log().empty());
}

struct OfflineSettingCase {
    const char* name;
    RadioGroup* TForm1::*group;
    int channel;
    bool inverted;
    bool averaging;
    std::vector<std::string> lines;
};

TEST_F(MainWindowTest, ModeAndAveragingBeforeTheConnectionOnlyRecordTheSetting) {
    const OfflineSettingCase cases[] = {
        {"ch1 inverted", &TForm1::RadioGroup4, 1, true, false, {}},
        {"ch2 inverted", &TForm1::RadioGroup6, 2, true, false, {}},
        {"ch1 averaging, no count picked",
         &TForm1::RadioGroup8,
         1,
         false,
         true,
         {"Averaging 0 data sets for ch 1"}},
        {"ch2 averaging, box shows 5 but nothing picked",
         &TForm1::RadioGroup9,
         2,
         false,
         true,
         {"Averaging 0 data sets for ch 2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        model::Waveforms = {};
        form->ListBox1->clear();
        const int before = paints();
        RadioGroup* g = (*form).*c.group;
        click(g->button(1));
        EXPECT_EQ(g->ItemIndex(), 1);
        EXPECT_EQ(model::Waveforms[c.channel].inverted, c.inverted);
        EXPECT_EQ(model::Waveforms[c.channel].averaging, c.averaging);
        EXPECT_EQ(model::Waveforms[3 - c.channel].inverted, false);
        EXPECT_EQ(model::Waveforms[3 - c.channel].averaging, false);
        EXPECT_EQ(status_lines(), c.lines);
        EXPECT_EQ(paints(), before);
        // Back to the first item clears the setting and logs nothing.
        click(g->button(0));
        EXPECT_FALSE(model::Waveforms[c.channel].inverted);
        EXPECT_FALSE(model::Waveforms[c.channel].averaging);
        EXPECT_EQ(status_lines(), c.lines);
    }
    EXPECT_FALSE(scope::Gpib_library_loaded());
    EXPECT_TRUE(sim.log().empty());
}

struct CountCase {
    const char* name;
    int index;
    int32_t count;
};

TEST_F(MainWindowTest, CountBoxesSetTheAveragingCountOnly) {
    const CountCase cases[] = {
        {"2", 0, 2}, {"5", 1, 5}, {"10", 2, 10}, {"20", 3, 20}, {"50", 4, 50},
    };
    const int before = paints();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        form->ComboBox2->setCurrentIndex(c.index);
        form->ComboBox3->setCurrentIndex(4 - c.index);
        EXPECT_EQ(model::Waveforms[1].average_count, c.count);
        EXPECT_EQ(model::Waveforms[2].average_count, cases[4 - c.index].count);
    }
    EXPECT_EQ(paints(), before);
    EXPECT_EQ(form->ListBox1->count(), 0);
    EXPECT_FALSE(scope::Gpib_library_loaded());
}

TEST_F(MainWindowTest, TypingInACountBoxLeavesTheCountUnchanged) {
    form->ComboBox2->setCurrentIndex(3);
    ASSERT_EQ(model::Waveforms[1].average_count, 20);
    form->ComboBox2->lineEdit()->clear();
    QTest::keyClicks(form->ComboBox2->lineEdit(), "7");
    EXPECT_EQ(form->ComboBox2->currentText(), "7");
    EXPECT_EQ(model::Waveforms[1].average_count, 20);
    // Typing an entry's text is not picking it.
    form->ComboBox2->lineEdit()->clear();
    QTest::keyClicks(form->ComboBox2->lineEdit(), "2");
    EXPECT_EQ(model::Waveforms[1].average_count, 20);
}

TEST_F(MainWindowTest, AveragingLineCarriesThePickedCount) {
    form->ComboBox2->setCurrentIndex(3);
    click(form->RadioGroup8->button(1));
    form->ComboBox3->setCurrentIndex(0);
    click(form->RadioGroup9->button(1));
    EXPECT_EQ(status_lines(), (std::vector<std::string>{"Averaging 20 data sets for ch 1",
                                                        "Averaging 2 data sets for ch 2"}));
}

// Picking from the list is a change even for the entry the box already shows: channel 2's box
// shows "5" from the start while its count is still 0.
TEST_F(MainWindowTest, PickingTheShownEntrySetsTheCount) {
    struct Case {
        const char* name;
        QComboBox* TForm1::*box;
        int index;
        RadioGroup* TForm1::*averaging;
        const char* line;
    } cases[] = {
        {"ch2 picks its shown 5", &TForm1::ComboBox3, 1, &TForm1::RadioGroup9,
         "Averaging 5 data sets for ch 2"},
        {"ch1 box set to 20, then 20 picked", &TForm1::ComboBox2, 3, &TForm1::RadioGroup8,
         "Averaging 20 data sets for ch 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QComboBox* box = (*form).*c.box;
        if (box->currentIndex() != c.index) {
            box->setCurrentIndex(c.index);
            model::Waveforms = {};  // the box shows the entry, the count is not set
        }
        ASSERT_EQ(box->currentIndex(), c.index);
        form->ScrollBox->ensureWidgetVisible(box);
        box->showPopup();
        QAbstractItemView* list = box->view();
        ASSERT_TRUE(list->isVisible());
        const QRect item = list->visualRect(box->model()->index(c.index, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
        click(((*form).*c.averaging)->button(1));
        ASSERT_FALSE(status_lines().empty());
        EXPECT_EQ(status_lines().back(), c.line);
    }
}

TEST_F(MainWindowTest, AboutShowsOneInformationBoxAndChangesNothing) {
    click(form->Button3);
    ASSERT_EQ(recorded.platform.boxes.size(), 1u);
    const auto& box = recorded.platform.boxes[0];
    EXPECT_EQ(box.kind, platform::BoxKind::Information);
    EXPECT_NE(box.text.find("HP54200A"), std::string::npos);
    EXPECT_NE(box.text.find("GPIB NI-488.2"), std::string::npos);
    EXPECT_EQ(box.text.find('\n'), std::string::npos);
    EXPECT_FALSE(app::Window.Show_ch1_waveform || app::Window.Show_ch1_fft ||
                 app::Window.Show_ch2_waveform || app::Window.Show_ch2_fft);
    EXPECT_EQ(app::Window.Combined_display, 0);
    EXPECT_FALSE(scope::Link.Scope_initialized);
    EXPECT_FALSE(scope::Gpib_library_loaded());
    EXPECT_EQ(form->ListBox1->count(), 0);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(MainWindowTest, QuitBeforeTheConnectionSendsNothingAndCloses) {
    click(form->Button2);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(scope::Gpib_library_loaded());
    EXPECT_TRUE(sim.log().empty());
}

struct EnterCase {
    const char* name;
    QWidget* (*focus)(TForm1&);
};

TEST_F(MainWindowTest, EnterActivatesQuitFromControlsThatDoNotUseIt) {
    const EnterCase cases[] = {
        {"radio button", [](TForm1& f) -> QWidget* { return f.RadioGroup1->button(3); }},
        {"status list", [](TForm1& f) -> QWidget* { return f.ListBox1; }},
        {"output format list", [](TForm1& f) -> QWidget* { return f.ComboBox1; }},
        {"window itself", [](TForm1& f) -> QWidget* { return &f; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        QWidget* target = c.focus(*form);
        QTest::keyClick(target, Qt::Key_Return);
        EXPECT_FALSE(form->isVisible());
    }
    EXPECT_FALSE(scope::Gpib_library_loaded());
}

TEST_F(MainWindowTest, EnterOnAFocusedButtonClicksThatButton) {
    form->Button3->setFocus();
    QTest::keyClick(form->Button3, Qt::Key_Return);
    EXPECT_EQ(recorded.platform.boxes.size(), 1u);  // About, not Quit
    EXPECT_TRUE(form->isVisible());
    const int before = paints();
    form->Button1->setFocus();
    QTest::keyClick(form->Button1, Qt::Key_Enter);
    EXPECT_EQ(paints(), before + 1);  // Refresh, not Quit
    EXPECT_TRUE(form->isVisible());
}

// ---- Handlers with the simulated scope behind the driver -----------------------------------

struct DisplayCase {
    const char* name;
    int item;
    bool waveform;
    bool fft;
};

TEST_F(MainWindowTest, ChannelDisplayGroupsOpenTheConnectionAndAcquireTheirChannel) {
    const DisplayCase cases[] = {
        {"Waveform", 0, true, false},
        {"FFT", 1, false, true},
        {"Waveform + FFT", 2, true, true},
    };
    for (int channel : {1, 2}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " on channel " + std::to_string(channel));
            RadioGroup* g = channel == 1 ? form->RadioGroup1 : form->RadioGroup2;
            g->showItemIndex(3);
            app::Window.Combined_display = 2;
            sim.clear_log();
            const int before = paints();
            click(g->button(c.item));
            const bool& wf =
                channel == 1 ? app::Window.Show_ch1_waveform : app::Window.Show_ch2_waveform;
            const bool& fft = channel == 1 ? app::Window.Show_ch1_fft : app::Window.Show_ch2_fft;
            EXPECT_EQ(wf, c.waveform);
            EXPECT_EQ(fft, c.fft);
            EXPECT_EQ(app::Window.Combined_display, 0);
            const auto writes = sim.writes();
            const std::string source = "SOURCE CHANNEL" + std::to_string(channel);
            EXPECT_EQ(count_of(writes, source), 1);
            EXPECT_EQ(count_of(writes, "SOURCE CHANNEL" + std::to_string(3 - channel)), 0);
            EXPECT_EQ(count_of(writes, "DATA?"), 1);
            EXPECT_EQ(paints(), before + 1);
        }
    }
    // The connection was opened once, by the first choice.
    EXPECT_EQ(status_lines(), (std::vector<std::string>{"Bringing scope online and initializing...",
                                                        "Initialization successful"}));
    EXPECT_TRUE(scope::Link.Scope_initialized);
    EXPECT_GT(model::Waveforms[1].x_max, model::Waveforms[1].x_min);
}

TEST_F(MainWindowTest, ChoosingOffOpensTheConnectionClearsTheChannelAndAcquiresNothing) {
    app::Window.Show_ch1_waveform = true;
    app::Window.Show_ch1_fft = true;
    app::Window.Combined_display = 1;
    form->RadioGroup1->showItemIndex(0);
    const int before = paints();
    click(form->RadioGroup1->button(3));
    EXPECT_TRUE(scope::Link.Scope_initialized);
    EXPECT_FALSE(app::Window.Show_ch1_waveform || app::Window.Show_ch1_fft);
    EXPECT_EQ(app::Window.Combined_display, 0);
    const auto writes = sim.writes();
    EXPECT_EQ(count_of(writes, "ID ?"), 1);
    EXPECT_EQ(count_of(writes, "DATA?"), 0);
    EXPECT_EQ(paints(), before + 1);
    // The combined group keeps what it shows.
    EXPECT_EQ(form->RadioGroup3->ItemIndex(), 3);
}

struct CombinedCase {
    const char* name;
    int item;
    int32_t code;
};

TEST_F(MainWindowTest, CombinedDisplayMovesChannelGroupsToOffAndAcquiresBoth) {
    const CombinedCase cases[] = {
        {"Ch 1 and Ch 2", 0, 1},
        {"Ch 1 + Ch 2", 1, 2},
        {"Ch 1 - Ch 2", 2, 3},
        {"Off still acquires both", 3, 0},
    };
    open_connection();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Channel 1 shows its waveform, channel 2 is already at "Off".
        click(form->RadioGroup1->button(0));
        ASSERT_TRUE(app::Window.Show_ch1_waveform);
        form->RadioGroup2->showItemIndex(3);
        form->RadioGroup3->showItemIndex(c.item == 3 ? 0 : 3);
        sim.clear_log();
        const int before = paints();
        click(form->RadioGroup3->button(c.item));
        EXPECT_EQ(form->RadioGroup1->ItemIndex(), 3);
        EXPECT_EQ(form->RadioGroup2->ItemIndex(), 3);
        EXPECT_EQ(app::Window.Combined_display, c.code);
        EXPECT_FALSE(app::Window.Show_ch1_waveform || app::Window.Show_ch1_fft ||
                     app::Window.Show_ch2_waveform || app::Window.Show_ch2_fft);
        // Channel 1's group moved and repainted on its own; channel 2's did not move.
        EXPECT_EQ(paints(), before + 2);
        const auto writes = sim.writes();
        EXPECT_EQ(count_of(writes, "SOURCE CHANNEL1"), 1);
        EXPECT_EQ(count_of(writes, "SOURCE CHANNEL2"), 1);
        EXPECT_EQ(count_of(writes, "DATA?"), 2);
        EXPECT_EQ(count_of(writes, "ID ?"), 0);
    }
}

TEST_F(MainWindowTest, CombinedDisplayWithBothGroupsAtOffRunsNoGroupHandler) {
    open_connection();
    const int before = paints();
    click(form->RadioGroup3->button(1));
    EXPECT_EQ(paints(), before + 1);
    EXPECT_EQ(app::Window.Combined_display, 2);
}

struct RefreshCase {
    const char* name;
    bool ch1_waveform, ch1_fft, ch2_waveform, ch2_fft;
    int32_t combined;
    int ch1_reads, ch2_reads;
};

TEST_F(MainWindowTest, RefreshAcquiresTheChannelsShown) {
    const RefreshCase cases[] = {
        {"channel 1 waveform", true, false, false, false, 0, 1, 0},
        {"channel 2 spectrum", false, false, false, true, 0, 0, 1},
        {"both channels", true, false, false, true, 0, 1, 1},
        {"combined display", false, false, false, false, 3, 1, 1},
        {"nothing", false, false, false, false, 0, 0, 0},
    };
    open_connection();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app::Window = {c.ch1_waveform, c.ch1_fft, c.ch2_waveform, c.ch2_fft, c.combined};
        sim.clear_log();
        const int before = paints();
        click(form->Button1);
        const auto writes = sim.writes();
        EXPECT_EQ(count_of(writes, "SOURCE CHANNEL1"), c.ch1_reads);
        EXPECT_EQ(count_of(writes, "SOURCE CHANNEL2"), c.ch2_reads);
        EXPECT_EQ(count_of(writes, "DATA?"), c.ch1_reads + c.ch2_reads);
        EXPECT_EQ(paints(), before + 1);
    }
}

TEST_F(MainWindowTest, AutoScaleOpensTheConnectionWaitsAndReacquiresShownChannels) {
    click(form->Button5);
    EXPECT_EQ(status_lines(),
              (std::vector<std::string>{"Bringing scope online and initializing...",
                                        "Initialization successful", "Executing AUTOSCALE"}));
    EXPECT_EQ(count_of(sim.writes(), "AUTOSCALE FULL"), 1);
    EXPECT_EQ(count_of(sim.writes(), "DATA?"), 0);
    EXPECT_EQ(std::count(recorded.platform.sleeps.begin(), recorded.platform.sleeps.end(), 5000),
              1);

    app::Window.Show_ch2_waveform = true;
    sim.clear_log();
    click(form->Button5);
    const auto writes = sim.writes();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.front(), "AUTOSCALE FULL");
    EXPECT_EQ(count_of(writes, "SOURCE CHANNEL1"), 0);
    EXPECT_EQ(count_of(writes, "SOURCE CHANNEL2"), 1);
    EXPECT_EQ(count_of(writes, "ID ?"), 0);
}

struct CouplingCase {
    const char* name;
    RadioGroup* TForm1::*group;
    int channel;
    int item;
    int32_t code;
    const char* command;
};

TEST_F(MainWindowTest, CouplingSendsItsSequenceAndReacquiresTheChannel) {
    const CouplingCase cases[] = {
        {"ch1 AC", &TForm1::RadioGroup5, 1, 0, 2, "COUPLING AC"},
        {"ch1 DC", &TForm1::RadioGroup5, 1, 1, 1, "COUPLING DC"},
        {"ch2 AC", &TForm1::RadioGroup7, 2, 0, 2, "COUPLING AC"},
        {"ch2 DC", &TForm1::RadioGroup7, 2, 1, 1, "COUPLING DC"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RadioGroup* g = (*form).*c.group;
        g->showItemIndex(1 - c.item);
        form->ListBox1->clear();
        sim.clear_log();
        const int before = paints();
        click(g->button(c.item));
        EXPECT_EQ(model::Waveforms[c.channel].coupling, c.code);
        const auto writes = sim.writes();
        const std::string channel_cmd = "CHANNEL " + std::to_string(c.channel);
        const auto at = std::find(writes.begin(), writes.end(), channel_cmd);
        ASSERT_NE(at, writes.end());
        ASSERT_NE(at + 1, writes.end());
        EXPECT_EQ(*(at + 1), c.command);
        EXPECT_EQ(count_of(writes, "SOURCE CHANNEL" + std::to_string(c.channel)), 1);
        EXPECT_EQ(count_of(writes, "DATA?"), 1);
        const auto lines = status_lines();
        EXPECT_EQ(count_of(lines, "Setting Channel " + std::to_string(c.channel) + " Coupling"), 1);
        EXPECT_EQ(paints(), before + 1);
    }
}

TEST_F(MainWindowTest, OpeningTheConnectionShowsClearedModeAndAveraging) {
    click(form->RadioGroup4->button(1));
    click(form->RadioGroup9->button(1));
    ASSERT_TRUE(model::Waveforms[1].inverted);
    ASSERT_TRUE(model::Waveforms[2].averaging);
    click(form->RadioGroup1->button(0));
    EXPECT_FALSE(model::Waveforms[1].inverted);
    EXPECT_FALSE(model::Waveforms[2].averaging);
    EXPECT_EQ(form->RadioGroup4->ItemIndex(), 0);
    EXPECT_EQ(form->RadioGroup9->ItemIndex(), 0);
    EXPECT_TRUE(form->RadioGroup4->button(0)->isChecked());
    EXPECT_TRUE(form->RadioGroup9->button(0)->isChecked());
    // The groups were only moved: no handler acquired channel 2 (the display acquired channel 1).
    EXPECT_EQ(count_of(sim.writes(), "SOURCE CHANNEL2"), 0);
    EXPECT_EQ(count_of(sim.writes(), "DATA?"), 1);
}

TEST_F(MainWindowTest, OpeningTheConnectionClearsTheDisplayFlagsBeforeTheDevice) {
    // The flags are already clear when the device cannot be opened: the window clears them
    // before ibdev.
    app::Window.Show_ch1_waveform = app::Window.Show_ch2_waveform = true;
    app::Window.Show_ch1_fft = app::Window.Show_ch2_fft = true;
    sim.set("HP_SIM_FAIL_IBDEV", "1");
    EXPECT_THROW(scope::initialize_hp54200A(), platform::ProgramStopped);
    EXPECT_FALSE(app::Window.Show_ch1_waveform || app::Window.Show_ch2_waveform);
    EXPECT_FALSE(app::Window.Show_ch1_fft || app::Window.Show_ch2_fft);
    EXPECT_EQ(count_of(sim.calls(), "ibdev"), 1);
}

struct ConnectedSettingCase {
    const char* name;
    RadioGroup* TForm1::*group;
    int channel;
    int32_t count;
    int data_sets;
};

TEST_F(MainWindowTest, ModeAndAveragingAfterTheConnectionAcquireTheirChannel) {
    const ConnectedSettingCase cases[] = {
        {"ch1 inverted", &TForm1::RadioGroup4, 1, 0, 1},
        {"ch2 inverted", &TForm1::RadioGroup6, 2, 0, 1},
        {"ch1 averaging 5 sets", &TForm1::RadioGroup8, 1, 5, 5},
        {"ch2 averaging, count never picked", &TForm1::RadioGroup9, 2, 0, 1},
    };
    open_connection();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RadioGroup* g = (*form).*c.group;
        g->showItemIndex(0);
        model::Waveforms[c.channel].average_count = c.count;
        sim.clear_log();
        const int before = paints();
        click(g->button(1));
        const auto writes = sim.writes();
        EXPECT_EQ(count_of(writes, "SOURCE CHANNEL" + std::to_string(c.channel)), 1);
        EXPECT_EQ(count_of(writes, "SOURCE CHANNEL" + std::to_string(3 - c.channel)), 0);
        EXPECT_EQ(count_of(writes, "DATA?"), c.data_sets);
        EXPECT_EQ(paints(), before + 1);
    }
}

struct QuitCase {
    const char* name;
    bool waveform_selected;
    std::vector<std::string> writes;
};

TEST_F(MainWindowTest, QuitAfterTheConnectionLeavesChannel1SelectedAndReleasesTheDriver) {
    const QuitCase cases[] = {
        {"another subsystem current", false, {"HEADER OFF", "WAVEFORM?", "SOURCE CHANNEL1"}},
        {"waveform subsystem current", true, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        form->show();
        open_connection();
        scope::Link.Waveform_selected = c.waveform_selected;
        ASSERT_TRUE(scope::Gpib_library_loaded());
        click(form->Button2);
        EXPECT_FALSE(form->isVisible());
        EXPECT_FALSE(scope::Gpib_library_loaded());
        EXPECT_EQ(sim.writes(), c.writes);
        // No offline call at Quit.
        EXPECT_EQ(count_of(sim.calls(), "ibonl"), 0);
        scope::Link = scope::LinkState{};
    }
}

// ---- The radio group ---------------------------------------------------------------------

struct SelectionCase {
    const char* name;
    int start;
    int target;
    bool by_program;
    int handler_runs;
};

TEST(RadioGroupTest, HandlerRunsWhenTheSelectionChangesByOperatorOrProgram) {
    const SelectionCase cases[] = {
        {"program moves it", 0, 2, true, 1},
        {"program sets the same item", 2, 2, true, 0},
        {"program clears it", 1, -1, true, 1},
        {"program gives an index past the end", 1, 9, true, 1},
        {"operator clicks another item", 0, 1, false, 1},
        {"operator clicks the checked item", 1, 1, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RadioGroup g("Group", {"A", "B", "C"}, c.start, nullptr);
        g.show();
        int runs = 0;
        int seen = -2;
        g.on_click = [&] {
            ++runs;
            seen = g.ItemIndex();
        };
        if (c.by_program)
            g.setItemIndex(c.target);
        else
            QTest::mouseClick(g.button(c.target), Qt::LeftButton, {},
                              QPoint(8, g.button(c.target)->height() / 2));
        EXPECT_EQ(runs, c.handler_runs);
        const int expected = c.target >= 0 && c.target < 3 ? c.target : -1;
        EXPECT_EQ(g.ItemIndex(), expected);
        if (runs > 0) {
            EXPECT_EQ(seen, expected);  // the handler sees the new selection
        }
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(g.button(i)->isChecked(), i == expected);
        }
    }
}

TEST(RadioGroupTest, ShowingASelectionRunsNoHandler) {
    RadioGroup g("Group", {"A", "B"}, 1, nullptr);
    int runs = 0;
    g.on_click = [&] { ++runs; };
    g.showItemIndex(0);
    EXPECT_EQ(g.ItemIndex(), 0);
    EXPECT_TRUE(g.button(0)->isChecked());
    EXPECT_EQ(runs, 0);
    // And the group still reacts afterwards.
    g.setItemIndex(1);
    EXPECT_EQ(runs, 1);
}

}  // namespace
