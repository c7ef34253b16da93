// The main window: its controls at their fixed places on a scrolling silver panel, and the
// handlers that choose what to acquire from the scope and what to show.
#include "app/window/main_window.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionButton>

#include "app/analysis/measurements_window.h"
#include "app/connect/connection.h"
#include "app/connect/connection_dialog.h"
#include "app/examine/run_control.h"
#include "app/output/output.h"
#include "app/output/save_as.h"
#include "app/picture/window_state.h"
#include "app/window/open_capture.h"
#include "app/window/paint_box.h"
#include "app/window/qt_dialogs.h"
#include "app/window/radio_group.h"
#include "model/waveform.h"
#include "platform/platform.h"
#include "scope/acquisition.h"
#include "scope/bus_address.h"
#include "scope/gpib_driver.h"
#include "scope/resource.h"
#include "scope/scope_link.h"

namespace app {
namespace {

const QColor kSilver(192, 192, 192);
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 128, 0);

// A push button whose caption wraps onto a second line when it does not fit, as the narrow
// "Auto- Scale" button needs; text() keeps the caption as one string.
class WrappingButton final : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text.clear();
        style()->drawControl(QStyle::CE_PushButton, &option, &p, this);
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                 QPalette::ButtonText));
        p.drawText(rect().adjusted(2, 2, -2, -2), Qt::AlignCenter | Qt::TextWordWrap, text());
    }
};

QFont with_pixel_size(QFont font, int pixels, bool bold = false) {
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void colour_text(QWidget* w, const QColor& c) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, c);
    w->setPalette(pal);
}

template <typename Widget>
Widget* place(Widget* w, const char* name, int left, int top, int width, int height) {
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(left, top, width, height);
    return w;
}

QLabel* make_label(QWidget* parent, const char* name, const char* text, int left, int top) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->adjustSize();
    label->move(left, top);
    return label;
}

const QStringList kDisplayItems = {"Waveform", "FFT", "Waveform + FFT", "Off"};
const QStringList kCountItems = {"2", "5", "10", "20", "50"};
constexpr int kOff = kDisplayOff;

}  // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(kWindowCaption));
    QFont system_font(QStringLiteral("System"));
    system_font.setPixelSize(11);
    setFont(system_font);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kSilver);
    setPalette(pal);
    setAutoFillBackground(true);

    build_controls();
    connect_handlers();
    Add_capture_controls(*this);
    build_examining();

    status_ = std::make_unique<ListBoxStatus>(ListBox1);
    platform::set_status_list(status_.get());
    display_flags_ = std::make_unique<WindowDisplayFlags>();
    platform::set_display_flags(display_flags_.get());

    resize(kWindowWidth, kWindowHeight);
    move(kWindowLeft, kWindowTop);
}

TForm1::~TForm1() {
    if (&platform::status_list() == status_.get())
        platform::set_status_list(nullptr);
    if (&platform::display_flags() == display_flags_.get())
        platform::set_display_flags(nullptr);
}

void TForm1::build_controls() {
    ScrollBox = new QScrollArea(this);
    ScrollBox->setObjectName(QStringLiteral("ScrollBox"));
    ScrollBox->setFrameShape(QFrame::NoFrame);
    ScrollBox->setWidgetResizable(false);
    setCentralWidget(ScrollBox);

    Content = new QWidget;
    Content->setObjectName(QStringLiteral("Content"));
    Content->setAutoFillBackground(true);
    Content->resize(kContentWidth, kContentHeight);
    QWidget* c = Content;

    RadioGroup1 = place(new RadioGroup("Channel 1 Display", kDisplayItems, kOff, c), "RadioGroup1",
                        8, 8, 153, 105);
    RadioGroup2 = place(new RadioGroup("Channel 2 Display", kDisplayItems, kOff, c), "RadioGroup2",
                        8, 120, 153, 105);
    RadioGroup3 =
        place(new RadioGroup("Channels 1,2 Display",
                             {"Ch 1 and Ch 2", "Ch 1 + Ch 2", "Ch 1 - Ch 2", "Off"}, kOff, c),
              "RadioGroup3", 8, 232, 153, 97);

    const QFont bold = with_pixel_size(font(), 11, true);
    Button1 = place(new QPushButton("Refresh", c), "Button1", 16, 336, 57, 41);
    Button1->setFont(bold);
    Button4 = place(new QPushButton("Output", c), "Button4", 96, 336, 57, 41);
    Button4->setFont(bold);
    Button5 = place(new WrappingButton("Auto- Scale", c), "Button5", 16, 384, 57, 41);
    Button2 = place(new QPushButton("Quit", c), "Button2", 96, 384, 57, 41);
    Button2->setDefault(true);

    ComboBox1 = new QComboBox(c);
    ComboBox1->addItems({"WMF", "Clipboard", "Textfile"});
    ComboBox1->setCurrentIndex(-1);
    place(ComboBox1, "ComboBox1", 24, 432, 121, 21);

    Label2 = make_label(c, "Label2", "Output Format", 40, 456);
    Label3 = make_label(c, "Label3", "CHANNEL 1", 8, 480);
    colour_text(Label3, kRed);
    Label4 = make_label(c, "Label4", "CHANNEL 2", 104, 480);
    colour_text(Label4, kGreen);

    RadioGroup4 =
        place(new RadioGroup("Mode", {"Normal", "Inverted"}, 0, c), "RadioGroup4", 0, 496, 89, 73);
    RadioGroup6 =
        place(new RadioGroup("Mode", {"Normal", "Inverted"}, 0, c), "RadioGroup6", 96, 496, 89, 73);
    RadioGroup8 =
        place(new RadioGroup("Averaging", {"Off", "On"}, 0, c), "RadioGroup8", 0, 576, 89, 65);
    RadioGroup8->setFont(with_pixel_size(font(), 15));
    RadioGroup9 =
        place(new RadioGroup("Averaging", {"Off", "On"}, 0, c), "RadioGroup9", 96, 576, 89, 65);
    RadioGroup5 =
        place(new RadioGroup("Coupling", {"AC", "DC"}, 1, c), "RadioGroup5", 0, 648, 89, 73);
    RadioGroup7 =
        place(new RadioGroup("Coupling", {"AC", "DC"}, 1, c), "RadioGroup7", 96, 648, 89, 73);

    for (QComboBox** box : {&ComboBox2, &ComboBox3}) {
        *box = new QComboBox(c);
        (*box)->setEditable(true);
        (*box)->setInsertPolicy(QComboBox::NoInsert);
        (*box)->addItems(kCountItems);
    }
    ComboBox2->setCurrentIndex(-1);
    ComboBox2->setEditText(QStringLiteral("ComboBox2"));
    place(ComboBox2, "ComboBox2", 0, 728, 89, 21);
    ComboBox3->setCurrentIndex(1);
    place(ComboBox3, "ComboBox3", 96, 728, 89, 21);
    Label5 = make_label(c, "Label5", "Times to Average", 32, 752);
    // Below the averaging counts, in the strip's free area.
    ConnectionButton =
        place(new QPushButton("Connection...", c), "ConnectionButton", 0, 784, 89, 25);
    SaveAsButton = place(new QPushButton("Save as...", c), "SaveAsButton", 96, 784, 89, 25);
    MeasurementsButton =
        place(new QPushButton("Measurements", c), "MeasurementsButton", 0, 880, 89, 25);
    MeasurementsButton->setToolTip(QStringLiteral("Measurements of the shown traces (Ctrl+M)"));
    MeasurementsButton->setAutoDefault(true);  // Enter on it opens the window, not Quit

    PaintBox1 = place(new PaintBoxWidget(c), "PaintBox1", 192, 8, 1073, 809);

    ListBox1 = place(new QListWidget(c), "ListBox1", 410, 826, 400, 100);
    ListBox1->setFont(with_pixel_size(font(), 13, true));
    QPalette list_pal = ListBox1->palette();
    list_pal.setColor(QPalette::Base, Qt::black);
    list_pal.setColor(QPalette::Text, kGreen);
    ListBox1->setPalette(list_pal);
    ListBox1->setUniformItemSizes(true);
    ListBox1->setFocusPolicy(Qt::StrongFocus);

    Label1 = make_label(c, "Label1", "Data from scope", 814, 858);
    Button3 = place(new QPushButton("About", c), "Button3", 976, 848, 89, 33);

    // A focused push button takes Enter for itself, as on the desktop the panel comes from;
    // elsewhere Enter reaches the window and activates Quit.
    for (QPushButton* b :
         {Button1, Button2, Button3, Button4, Button5, ConnectionButton, SaveAsButton})
        b->setAutoDefault(true);

    ScrollBox->setWidget(Content);
}

void TForm1::connect_handlers() {
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(Button4, &QPushButton::clicked, this, [this] { Output_currently_active_graphs(); });
    connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
    connect(ConnectionButton, &QPushButton::clicked, this, [this] { ConnectionClick(); });
    connect(MeasurementsButton, &QPushButton::clicked, this, [this] { MeasurementsClick(); });
    auto* measurements_key = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_M), this);
    measurements_key->setContext(Qt::ApplicationShortcut);
    connect(measurements_key, &QShortcut::activated, this, [this] { MeasurementsClick(); });
    connect(SaveAsButton, &QPushButton::clicked, this,
            [this] { Save_as_dialog(this, PaintBox1->width(), PaintBox1->height()); });
    // A choice from the list, even of the entry already shown, sets the output flags again.
    connect(ComboBox1, &QComboBox::activated, this, [this] { Get_output_format(); });
    // The count boxes change when an entry is picked, also the one already shown (channel 2's
    // box shows "5" before any count is set), and when the operator types.
    for (QComboBox* box : {ComboBox2, ComboBox3}) {
        const auto handler = box == ComboBox2 ? &TForm1::Get_ch_1_averaging_times
                                              : &TForm1::Get_ch_2_averaging_times;
        connect(box, &QComboBox::activated, this, handler);
        connect(box, &QComboBox::currentIndexChanged, this, handler);
        connect(box, &QComboBox::editTextChanged, this, handler);
    }

    RadioGroup1->on_click = [this] { RadioGroup1Click(); };
    RadioGroup2->on_click = [this] { RadioGroup2Click(); };
    RadioGroup3->on_click = [this] { RadioGroup3Click(); };
    RadioGroup4->on_click = [this] { RadioGroup4Click(); };
    RadioGroup5->on_click = [this] { RadioGroup5Click(); };
    RadioGroup6->on_click = [this] { RadioGroup6Click(); };
    RadioGroup7->on_click = [this] { RadioGroup7Click(); };
    RadioGroup8->on_click = [this] { RadioGroup8Click(); };
    RadioGroup9->on_click = [this] { RadioGroup9Click(); };
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (first_show_done_)
        return;
    first_show_done_ = true;
    // Make the window's outer size the fixed one where the platform draws a frame.
    const QSize frame = frameGeometry().size() - geometry().size();
    if (!frame.isEmpty())
        resize(kWindowWidth - frame.width(), kWindowHeight - frame.height());
    // The window opens scrolled down; the panel gets a blank strip at its foot when the view is
    // too tall for that scroll to exist.
    ScrollBox->ensurePolished();
    if (QLayout* l = layout())
        l->activate();
    const int view_height = ScrollBox->viewport()->height();
    if (Content->height() < view_height + kStartScroll)
        Content->resize(Content->width(), view_height + kStartScroll);
    ScrollBox->verticalScrollBar()->setValue(kStartScroll);
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    // Quit is the default button: Enter that no control used reaches the window.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Button2->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TForm1::send_message(const std::string& line) {
    status_->send_message(line);
}

void TForm1::ensure_connection() {
    if (scope::Link.Scope_initialized)
        return;
    scope::initialize_hp54200A();
    // Opening the connection cleared inversion and averaging of both channels: let their
    // groups show that, without running their handlers (which would acquire).
    RadioGroup4->showItemIndex(0);
    RadioGroup6->showItemIndex(0);
    RadioGroup8->showItemIndex(0);
    RadioGroup9->showItemIndex(0);
}

void TForm1::acquire(int channel) {
    scope::Get_Information_About_Waveform(channel);
    scope::Get_waveform_data(channel);
}

void TForm1::repaint_plot() {
    PaintBox1->repaint();
    // Every acquisition ends in a repaint: the measurements follow it.
    if (Measurements != nullptr && Measurements->isVisible())
        Measurements->refresh();
}

void TForm1::MeasurementsClick() {
    if (Measurements == nullptr)
        Measurements = new MeasurementsWindow(this);
    Measurements->open_beside(*this);
}

void TForm1::Button1Click() {
    Back_to_scope(*this);
    const WindowState& w = Window;
    if (w.Combined_display > 0) {
        acquire(1);
        acquire(2);
    } else {
        if (w.Show_ch1_waveform || w.Show_ch1_fft)
            acquire(1);
        if (w.Show_ch2_waveform || w.Show_ch2_fft)
            acquire(2);
    }
    repaint_plot();
}

void TForm1::Button5Click() {
    Back_to_scope(*this);
    ensure_connection();
    scope::Autoscale_sequence();
    const WindowState& w = Window;
    if (w.Show_ch1_waveform || w.Show_ch1_fft || w.Combined_display > 0)
        acquire(1);
    if (w.Show_ch2_waveform || w.Show_ch2_fft || w.Combined_display > 0)
        acquire(2);
    repaint_plot();
}

void TForm1::channel_display_click(int channel, RadioGroup* group) {
    Back_to_scope(*this);
    ensure_connection();
    bool& show_waveform = channel == 1 ? Window.Show_ch1_waveform : Window.Show_ch2_waveform;
    bool& show_fft = channel == 1 ? Window.Show_ch1_fft : Window.Show_ch2_fft;
    show_waveform = false;
    show_fft = false;
    Window.Combined_display = 0;
    const int index = group->ItemIndex();
    if (index >= 0 && index < kOff) {
        // The flags are set between the preamble and the data, as the acquisition expects.
        scope::Get_Information_About_Waveform(channel);
        show_waveform = index == 0 || index == 2;
        show_fft = index == 1 || index == 2;
        scope::Get_waveform_data(channel);
    }
    repaint_plot();
}

void TForm1::RadioGroup1Click() {
    channel_display_click(1, RadioGroup1);
}
void TForm1::RadioGroup2Click() {
    channel_display_click(2, RadioGroup2);
}

void TForm1::RadioGroup3Click() {
    Back_to_scope(*this);
    ensure_connection();
    Window.Show_ch1_fft = false;
    Window.Show_ch2_fft = false;
    // Each per-channel group that moves runs its own handler (and repaints) before we go on.
    RadioGroup1->setItemIndex(kOff);
    RadioGroup2->setItemIndex(kOff);
    acquire(1);
    acquire(2);
    switch (RadioGroup3->ItemIndex()) {
        case 0:
            Window.Combined_display = 1;
            break;
        case 1:
            Window.Combined_display = 2;
            break;
        case 2:
            Window.Combined_display = 3;
            break;
        default:
            Window.Combined_display = 0;
            break;
    }
    Window.Show_ch1_waveform = false;
    Window.Show_ch2_waveform = false;
    repaint_plot();
}

void TForm1::mode_click(int channel, RadioGroup* group) {
    Back_to_scope(*this);
    model::TWaveformRecord& record = model::Waveforms[static_cast<size_t>(channel)];
    if (group->ItemIndex() == 0)
        record.inverted = false;
    if (group->ItemIndex() == 1)
        record.inverted = true;
    // Before the connection is open there is nothing to acquire from; the setting waits.
    if (!scope::Link.Scope_initialized)
        return;
    acquire(channel);
    repaint_plot();
}

void TForm1::RadioGroup4Click() {
    mode_click(1, RadioGroup4);
}
void TForm1::RadioGroup6Click() {
    mode_click(2, RadioGroup6);
}

void TForm1::coupling_click(int channel, RadioGroup* group) {
    Back_to_scope(*this);
    model::TWaveformRecord& record = model::Waveforms[static_cast<size_t>(channel)];
    if (group->ItemIndex() == 0)
        record.coupling = 2;
    if (group->ItemIndex() == 1)
        record.coupling = 1;
    ensure_connection();
    scope::Coupling_sequence(channel, record.coupling);
    acquire(channel);
    repaint_plot();
}

void TForm1::RadioGroup5Click() {
    coupling_click(1, RadioGroup5);
}
void TForm1::RadioGroup7Click() {
    coupling_click(2, RadioGroup7);
}

void TForm1::averaging_click(int channel, RadioGroup* group) {
    Back_to_scope(*this);
    model::TWaveformRecord& record = model::Waveforms[static_cast<size_t>(channel)];
    if (group->ItemIndex() == 0)
        record.averaging = false;
    if (group->ItemIndex() == 1)
        record.averaging = true;
    if (record.averaging) {
        scope::Link.Message = "Averaging " + std::to_string(record.average_count) +
                              " data sets for ch " + std::to_string(channel);
        send_message(scope::Link.Message);
    }
    if (!scope::Link.Scope_initialized)
        return;
    acquire(channel);
    repaint_plot();
}

void TForm1::RadioGroup8Click() {
    averaging_click(1, RadioGroup8);
}
void TForm1::RadioGroup9Click() {
    averaging_click(2, RadioGroup9);
}

void TForm1::averaging_times(int channel, QComboBox* box) {
    // An entry counts as selected only while the box shows its text: typing deselects.
    int index = box->currentIndex();
    if (index >= 0 && box->itemText(index) != box->currentText())
        index = -1;
    if (index < 0 || index > 4)
        return;
    model::Waveforms[static_cast<size_t>(channel)].average_count =
        kAverageCounts[static_cast<size_t>(index)];
}

void TForm1::Get_ch_1_averaging_times() {
    averaging_times(1, ComboBox2);
}
void TForm1::Get_ch_2_averaging_times() {
    averaging_times(2, ComboBox3);
}

void TForm1::Get_output_format() {
    app::Get_output_format(ComboBox1->currentIndex());
}

void TForm1::Output_currently_active_graphs() {
    app::Output_currently_active_graphs(*PaintBox1);
}

void TForm1::Button3Click() {
    platform::current().message_box(platform::BoxKind::Information, "Information", kAboutText);
}

void TForm1::ConnectionClick() {
    const bool open = scope::Gpib_library_loaded();
    const std::string program_dir = QCoreApplication::applicationDirPath().toStdString();
    ConnectionDialog dialog(scope::Resource_in_environment(), open, program_dir, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    Save_resource(dialog.resource());
    if (open)
        return;  // the open connection stays; the choice counts from the next start
    Apply_resource(dialog.resource(), program_dir);
    scope::Configure_bus_address();
    show_resource(scope::Resource_in_environment());
}

void TForm1::show_resource(const std::string& resource) {
    setWindowTitle(QString::fromLatin1(kWindowCaption) + QStringLiteral(" - ") +
                   QString::fromStdString(resource));
}

void TForm1::Button2Click() {
    Run->stop();  // a running display stops before the scope is left
    if (scope::Link.Scope_initialized && !scope::Link.Waveform_selected)
        scope::Closing_sequence();
    if (scope::Gpib_library_loaded())
        scope::Release_gpib_library();
    close();
}

}  // namespace app
