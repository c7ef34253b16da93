// The operator's window for the HP 54200A: the display, mode, averaging and coupling groups,
// the Refresh, Auto- Scale, Output, Quit and About buttons, the count and output-format boxes,
// the plot surface and the status list, with one handler per control.
#pragma once

#include <QMainWindow>
#include <array>
#include <memory>
#include <string>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QScrollArea;

namespace app {

class MeasurementsWindow;
namespace examine {
class PlotExaminer;
class RunControl;
}  // namespace examine

class RadioGroup;
class PaintBoxWidget;
class ListBoxStatus;
class WindowDisplayFlags;

class TForm1 final : public QMainWindow {
  public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Appends one line to the status list and shows it at once.
    void send_message(const std::string& line);

    // Handlers, named for their controls.
    void Button1Click();     // Refresh
    void Button2Click();     // Quit
    void Button3Click();     // About
    void Button5Click();     // Auto- Scale
    void ConnectionClick();  // Connection...
    // Measurements (Ctrl+M): opens the measurements window, or raises it.
    void MeasurementsClick();
    // The window's title with the resource in use after the program's name.
    void show_resource(const std::string& resource);
    void Output_currently_active_graphs();
    void Get_output_format();
    void RadioGroup1Click();  // Channel 1 Display
    void RadioGroup2Click();  // Channel 2 Display
    void RadioGroup3Click();  // Channels 1,2 Display
    void RadioGroup4Click();  // Mode, channel 1
    void RadioGroup6Click();  // Mode, channel 2
    void RadioGroup5Click();  // Coupling, channel 1
    void RadioGroup7Click();  // Coupling, channel 2
    void RadioGroup8Click();  // Averaging, channel 1
    void RadioGroup9Click();  // Averaging, channel 2
    void Get_ch_1_averaging_times();
    void Get_ch_2_averaging_times();

    QPushButton* ConnectionButton = nullptr;
    QPushButton* SaveAsButton = nullptr;
    QPushButton* MeasurementsButton = nullptr;
    // Made when first opened; refreshed after every acquisition while it is shown.
    MeasurementsWindow* Measurements = nullptr;
    QScrollArea* ScrollBox = nullptr;
    QWidget* Content = nullptr;
    RadioGroup* RadioGroup1 = nullptr;
    RadioGroup* RadioGroup2 = nullptr;
    RadioGroup* RadioGroup3 = nullptr;
    RadioGroup* RadioGroup4 = nullptr;
    RadioGroup* RadioGroup5 = nullptr;
    RadioGroup* RadioGroup6 = nullptr;
    RadioGroup* RadioGroup7 = nullptr;
    RadioGroup* RadioGroup8 = nullptr;
    RadioGroup* RadioGroup9 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button5 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QComboBox* ComboBox3 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    PaintBoxWidget* PaintBox1 = nullptr;
    QListWidget* ListBox1 = nullptr;
    // Examining the trace: the plot surface's mouse and keys, and the running display.
    examine::PlotExaminer* Examiner = nullptr;
    examine::RunControl* Run = nullptr;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void build_controls();
    // Zoom, cursors, Run and the shortcut keys (examining.cpp).
    void build_examining();
    void connect_handlers();
    void ensure_connection();
    void channel_display_click(int channel, RadioGroup* group);
    void mode_click(int channel, RadioGroup* group);
    void coupling_click(int channel, RadioGroup* group);
    void averaging_click(int channel, RadioGroup* group);
    void averaging_times(int channel, QComboBox* box);
    void acquire(int channel);
    void repaint_plot();

    std::unique_ptr<ListBoxStatus> status_;
    std::unique_ptr<WindowDisplayFlags> display_flags_;
    bool first_show_done_ = false;
};

// The window's geometry and the fixed layout of its content.
inline constexpr int kWindowLeft = 184;
inline constexpr int kWindowTop = 113;
inline constexpr int kWindowWidth = 933;
inline constexpr int kWindowHeight = 753;
inline constexpr int kStartScroll = 216;
// The extent of the controls: the plot surface's right edge and the status list's bottom.
inline constexpr int kContentWidth = 1265;
inline constexpr int kContentHeight = 926;

// The display groups' "Off" item, and the counts of the Times to Average lists.
inline constexpr int kDisplayOff = 3;
inline constexpr std::array<int, 5> kAverageCounts = {2, 5, 10, 20, 50};

// The caption and the About text.
inline constexpr const char* kWindowCaption =
    "HP 54200A Digitizing Oscilloscope on GPIB (IEEE 488.2) - Display and Control";
inline constexpr const char* kAboutText = "HP54200A display and control program over GPIB NI-488.2";

}  // namespace app
