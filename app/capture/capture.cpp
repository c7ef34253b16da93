// The capture: options, the operator's sequence on a window that is never shown, the files.
#include "app/capture/capture.h"

#include <QApplication>
#include <QComboBox>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/analysis/measure_table.h"
#include "app/connect/command_line.h"
#include "app/connect/connection.h"
#include "app/output/csv_export.h"
#include "app/output/picture_export.h"
#include "app/output/save_as.h"
#include "app/output/text_export.h"
#include "app/picture/window_state.h"
#include "app/reopen/opened_capture.h"
#include "app/window/main_window.h"
#include "app/window/paint_box.h"
#include "app/window/radio_group.h"
#include "platform/environment.h"
#include "platform/platform.h"
#include "platform/standard_error.h"
#include "platform/user_folders.h"
#include "scope/bus_address.h"
#include "vistrel/output.h"

namespace app {
namespace {

// Without a window: errors (the fatal report among them) on standard error, the confirmations
// of the window's outputs left out (the capture prints the paths it wrote), real waits.
class CapturePlatform final : public platform::Platform {
  public:
    void message_box(platform::BoxKind kind, const std::string& caption,
                     const std::string& text) override {
        if (kind == platform::BoxKind::Error)
            std::fprintf(stderr, "hp54200a: %s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ",
                         text.c_str());
    }
    void beep() override {}
    void set_busy_cursor(bool) override {}
    [[noreturn]] void stop_program() override {
        std::fflush(nullptr);
        std::_Exit(1);
    }
    // Each of the link's fixed waits (one per averaged data set, the autoscale's) shows as a dot
    // on a terminal: progress through a long averaging.
    void sleep_ms(int ms) override {
        if (platform::Standard_error_is_terminal()) {
            std::fputc('.', stderr);
            std::fflush(stderr);
            dots_ = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    // Ends a line of dots before other output.
    void end_dots() {
        if (dots_)
            std::fputc('\n', stderr);
        dots_ = false;
    }

  private:
    bool dots_ = false;
};

// The status list's lines (the connection's opening, "Averaging 10 data sets for ch 1") shown
// on standard error when it is a terminal, as progress.
class ProgressLines final : public platform::StatusList {
  public:
    void send_message(const std::string& line) override {
        if (platform::Standard_error_is_terminal())
            std::fprintf(stderr, "\n%s\n", line.c_str());
    }
    void clear() override {}
};

bool Take_channel(const std::string& text, int& channel) {
    if (text != "1" && text != "2")
        return false;
    channel = text[0] - '0';
    return true;
}

// "CH=VALUE" with CH 1 or 2.
bool Split_channel(const std::string& text, int& channel, std::string& value) {
    const auto eq = text.find('=');
    if (eq == std::string::npos || !Take_channel(text.substr(0, eq), channel))
        return false;
    value = text.substr(eq + 1);
    return true;
}

int Index_of(const std::string& value, std::initializer_list<const char*> names) {
    int i = 0;
    for (const char* n : names) {
        if (value == n)
            return i;
        ++i;
    }
    return -1;
}

std::string Refuse(const std::string& option, const std::string& value, const char* expected) {
    return option + " \"" + value + "\": expected " + expected;
}

}  // namespace

int Series_start(const CaptureOptions& o) {
    namespace fs = std::filesystem;
    int highest = 0;
    for (const std::string* path : {&o.png, &o.svg, &o.pdf, &o.csv, &o.wmf, &o.measure_file}) {
        if (!path->empty())
            highest =
                std::max(highest, Highest_series_number(fs::path(*path).parent_path(),
                                                        fs::path(*path).stem().string(), false));
    }
    if (!o.text_dir.empty()) {
        for (const char* stem : {"waveform1_data", "fft1_data", "waveform2_data", "fft2_data"})
            highest = std::max(highest, Highest_series_number(o.text_dir, stem, false));
    }
    return highest + 1;
}

namespace {

// One capture's files, numbered `n` in a series; false when one could not be written (said on
// standard error).
bool Write_outputs(const CaptureOptions& o, int n, const PaintBoxWidget& plot) {
    const auto name = [&](const std::string& path) {
        return o.repeat > 1 ? Numbered(path, n) : path;
    };
    const auto wrote = [](const std::string& path) { std::printf("%s\n", path.c_str()); };
    const auto failed = [](const std::string& path, const std::string& why) {
        std::fprintf(stderr, "hp54200a: cannot write %s: %s\n", path.c_str(), why.c_str());
        return false;
    };
    if (o.measure) {
        const std::string table = Table_csv(Build_measure_table());
        if (o.measure_file.empty()) {
            std::fputs(table.c_str(), stdout);
        } else {
            const std::string file = name(o.measure_file);
            std::ofstream out(file, std::ios::binary | std::ios::trunc);
            out << table;
            out.close();
            if (!out)
                return failed(file, "the file could not be written");
            wrote(file);
        }
    }
    const std::pair<const std::string*, PictureFormat> pictures[] = {
        {&o.png, PictureFormat::Png}, {&o.svg, PictureFormat::Svg}, {&o.pdf, PictureFormat::Pdf}};
    for (const auto& [path, format] : pictures) {
        if (path->empty())
            continue;
        const std::string file = name(*path);
        if (const std::string why = Save_picture(format, file, plot.width(), plot.height());
            !why.empty())
            return failed(file, why);
        wrote(file);
    }
    if (!o.csv.empty()) {
        const CsvResult r = Save_csv(name(o.csv));
        for (const std::string& file : r.written) wrote(file);
        if (!r.error.empty()) {
            std::fprintf(stderr, "hp54200a: %s\n", r.error.c_str());
            return false;
        }
    }
    if (!o.wmf.empty()) {
        std::string file = name(o.wmf);
        bool ok = false;
        vistrel::SavePlotAsMetafile(file, false, ok);
        file = std::filesystem::path(file).replace_extension(".wmf").string();
        if (!ok)
            return failed(file, "the metafile could not be written");
        wrote(file);
    }
    if (!o.text_dir.empty()) {
        // Unlike the window's fixed folder, the folder given is made when it is missing.
        std::error_code made;
        std::filesystem::create_directories(o.text_dir, made);
        std::vector<std::string> files;
        if (!Write_data_files_to(o.text_dir, files))
            return false;  // the reason is on standard error
        for (const std::string& file : files) {
            std::string target = file;
            if (o.repeat > 1) {
                target = Numbered(file, n);
                std::error_code ec;
                std::filesystem::rename(file, target, ec);
                if (ec)
                    return failed(target, ec.message());
            }
            wrote(target);
        }
    }
    std::fflush(stdout);
    return true;
}

// The operator's sequence on the window, each step through the control's own handler.
void Operate(TForm1& form, const CaptureOptions& o) {
    // Opening the connection: "Off" for a channel's display opens it and acquires nothing.
    // Opening clears mode and averaging, so it comes first.
    form.RadioGroup2->showItemIndex(0);
    form.RadioGroup2->setItemIndex(kDisplayOff);
    RadioGroup* coupling[] = {nullptr, form.RadioGroup5, form.RadioGroup7};
    RadioGroup* mode[] = {nullptr, form.RadioGroup4, form.RadioGroup6};
    RadioGroup* averaging[] = {nullptr, form.RadioGroup8, form.RadioGroup9};
    QComboBox* counts[] = {nullptr, form.ComboBox2, form.ComboBox3};
    RadioGroup* display[] = {nullptr, form.RadioGroup1, form.RadioGroup2};
    for (int ch = 1; ch <= 2; ++ch) {
        if (o.coupling[ch] < 0)
            continue;
        // A click on the item already shown is still a click.
        coupling[ch]->showItemIndex(-1);
        coupling[ch]->setItemIndex(o.coupling[ch]);
    }
    for (int ch = 1; ch <= 2; ++ch) {
        if (o.inverted[ch])
            mode[ch]->setItemIndex(1);
    }
    for (int ch = 1; ch <= 2; ++ch) {
        if (o.average[ch] == 0)
            continue;
        for (std::size_t i = 0; i < kAverageCounts.size(); ++i) {
            if (kAverageCounts[i] == o.average[ch])
                counts[ch]->setCurrentIndex(static_cast<int>(i));
        }
        averaging[ch]->setItemIndex(1);
    }
    if (o.autoscale)
        form.Button5Click();
    for (int ch = 1; ch <= 2; ++ch) {
        if (o.display[ch] >= 0)
            display[ch]->setItemIndex(o.display[ch]);
    }
    if (o.combined >= 0)
        form.RadioGroup3->setItemIndex(o.combined);
}

}  // namespace

std::string Numbered(const std::string& path, int n) {
    char number[16];
    std::snprintf(number, sizeof number, "-%04d", n);
    const std::filesystem::path p(path);
    return (p.parent_path() / (p.stem().string() + number + p.extension().string())).string();
}

std::string Capture_usage() {
    std::string usage =
        "Usage: hp54200a capture [--resource STRING] [--address N]\n"
        "           [--ch1 DISPLAY] [--ch2 DISPLAY] [--combined and|sum|difference]\n"
        "           [--coupling CH=AC|DC] [--invert CH] [--average CH=N] [--autoscale]\n"
        "           [--png FILE] [--svg FILE] [--pdf FILE] [--csv FILE] [--wmf FILE]\n"
        "           [--text FOLDER] [--measure [FILE]] [--repeat N [--interval SECONDS]]\n"
        "           [--reference GRAPH=FILE]...\n"
        "\n"
        "Acquires as the window does for the same choices, in the order an operator makes\n"
        "them: the connection opened, then coupling, mode (--invert), averaging, autoscale,\n"
        "and the display choice; then writes the files and prints each path. No window and\n"
        "no display are needed.\n"
        "  DISPLAY      waveform, spectrum or both (the window's \"Waveform\", \"FFT\",\n"
        "               \"Waveform + FFT\"); without any display option, --ch1 waveform\n"
        "  --combined   the \"Channels 1,2 Display\": and (both waveforms), sum, difference\n"
        "  CH           1 or 2; N one of the Times to Average counts 2, 5, 10, 20, 50\n"
        "  --png --svg --pdf   the picture; --csv the shown graphs' data (FILE-ch1.csv, ...);\n"
        "  --wmf        the picture as the \"WMF\" output writes it; --text the \"Textfile\"\n"
        "               output's files, into FOLDER instead of %DATA%\n"
        "  --measure    the measurements window's table as CSV (channel, quantity, value,\n"
        "               unit) to FILE, or to standard output without one\n"
        "  --reference  a saved graph (a CSV file, or waveform1_data.dat ...) drawn behind\n"
        "               the live one in the pictures; GRAPH 1, 2 (the channels' waveforms),\n"
        "               1-fft, 2-fft, sum or difference; at most two per graph\n"
        "  --repeat N   N captures (Refresh between them), --interval SECONDS apart; the\n"
        "               files are numbered FILE-0001.png ..., the series starting after the\n"
        "               highest number already in the folder, so nothing is overwritten\n"
        "Without --repeat, the files named are written as named and replace files of the\n"
        "same names (and --csv's FILE-ch1.csv ..., --text's data files).\n"
        "Exit status: 0 done, 1 a bus failure (the four lines of the fatal report on\n"
        "standard error) or a file not written, 2 bad usage.\n";
    std::string data = platform::Data_directory_text();
    data.pop_back();  // the folder without its separator, as on the window's Output
    usage.replace(usage.find("%DATA%"), 6, data);
    return usage;
}

CaptureOptions Parse_capture(const std::vector<std::string>& args) {
    CaptureOptions o;
    const auto refuse = [&](const std::string& why) {
        if (o.refusal.empty())
            o.refusal = why;
    };
    for (std::size_t i = 0; i < args.size() && o.refusal.empty(); ++i) {
        const std::string& a = args[i];
        const bool has_value = i + 1 < args.size();
        const std::string value = has_value ? args[i + 1] : std::string();
        int ch = 0;
        std::string v;
        if (a == "--autoscale") {
            o.autoscale = true;
            continue;
        }
        if (a == "--measure") {
            // FILE is optional: the next argument, unless it is an option.
            o.measure = true;
            if (has_value && value.rfind("--", 0) != 0) {
                o.measure_file = value;
                ++i;
                if (value.empty())
                    refuse(a + " needs a path");
            }
            continue;
        }
        if (Index_of(a, {"--resource", "--address", "--ch1", "--ch2", "--combined", "--coupling",
                         "--invert", "--average", "--png", "--svg", "--pdf", "--csv", "--wmf",
                         "--text", "--repeat", "--interval", "--reference"}) < 0) {
            refuse("unknown argument \"" + a + "\"");
            break;
        }
        if (!has_value) {
            refuse(a + " needs a value");
            break;
        }
        ++i;
        if (a == "--resource") {
            o.resource = value;
        } else if (a == "--address") {
            o.address = value;
        } else if (a == "--ch1" || a == "--ch2") {
            const int item = Index_of(value, {"waveform", "spectrum", "both"});
            if (item < 0)
                refuse(Refuse(a, value, "waveform, spectrum or both"));
            o.display[a == "--ch1" ? 1 : 2] = item;
        } else if (a == "--combined") {
            o.combined = Index_of(value, {"and", "sum", "difference"});
            if (o.combined < 0)
                refuse(Refuse(a, value, "and, sum or difference"));
        } else if (a == "--coupling") {
            if (!Split_channel(value, ch, v) || (o.coupling[ch] = Index_of(v, {"AC", "DC"})) < 0)
                refuse(Refuse(a, value, "1=AC, 1=DC, 2=AC or 2=DC"));
        } else if (a == "--invert") {
            if (!Take_channel(value, ch))
                refuse(Refuse(a, value, "1 or 2"));
            o.inverted[ch] = true;
        } else if (a == "--average") {
            int n = 0;
            if (Split_channel(value, ch, v)) {
                for (const int count : kAverageCounts) {
                    if (std::to_string(count) == v)
                        n = count;
                }
            }
            if (n == 0)
                refuse(Refuse(a, value, "CH=N with N one of 2, 5, 10, 20, 50"));
            else
                o.average[ch] = n;
        } else if (a == "--png" || a == "--svg" || a == "--pdf" || a == "--csv" || a == "--wmf" ||
                   a == "--text") {
            std::string& target = a == "--png"   ? o.png
                                  : a == "--svg" ? o.svg
                                  : a == "--pdf" ? o.pdf
                                  : a == "--csv" ? o.csv
                                  : a == "--wmf" ? o.wmf
                                                 : o.text_dir;
            target = value;
            if (value.empty())
                refuse(a + " needs a path");
        } else if (a == "--reference") {
            const auto eq = value.find('=');
            const int graph = Index_of(value.substr(0, eq == std::string::npos ? 0 : eq),
                                       {"1", "2", "1-fft", "2-fft", "sum", "difference"});
            if (graph < 0 || eq + 1 >= value.size())
                refuse(Refuse(a, value,
                              "GRAPH=FILE with GRAPH 1, 2, 1-fft, 2-fft, sum or difference"));
            else
                o.references.emplace_back(static_cast<ReferenceGraph>(graph), value.substr(eq + 1));
        } else if (a == "--repeat") {
            o.repeat = std::atoi(value.c_str());
            if (value.find_first_not_of("0123456789") != std::string::npos || o.repeat < 1 ||
                o.repeat > 999999)
                refuse(Refuse(a, value, "a count from 1"));
        } else if (a == "--interval") {
            char* end = nullptr;
            o.interval_s = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !(o.interval_s >= 0) || o.interval_s > 86400)
                refuse(Refuse(a, value, "seconds from 0 to 86400"));
        }
    }
    if (o.display[1] < 0 && o.display[2] < 0 && o.combined < 0)
        o.display[1] = 0;
    if (o.refusal.empty() && o.png.empty() && o.svg.empty() && o.pdf.empty() && o.csv.empty() &&
        o.wmf.empty() && o.text_dir.empty() && !o.measure)
        refuse(
            "nothing to write: give at least one of --png, --svg, --pdf, --csv, --wmf, --text, "
            "--measure");
    if (o.refusal.empty())
        o.refusal = Connection_options_refusal(o.resource, o.address);
    return o;
}

int Run_capture(const CaptureOptions& o, const char* program) {
    for (const auto& [graph, file] : o.references) {
        if (const std::string why = Load_reference(file, graph); !why.empty()) {
            std::fprintf(stderr, "hp54200a capture: %s\n", why.c_str());
            Clear_references();
            return 2;
        }
    }
    // No window is shown and no display is needed; the platform's remarks about the window it
    // does not show are no news to a script.
    qputenv("QT_QPA_PLATFORM", platform::Windowless_qt_platform());
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "hp54200a: %s\n", text.toLocal8Bit().constData());
    });
    int argc = 1;
    char* argv[] = {const_cast<char*>(program), nullptr};
    QApplication application(argc, argv);
    CommandLine cl;
    cl.resource = o.resource;
    cl.address = o.address;
    const std::string program_dir = QCoreApplication::applicationDirPath().toStdString();
    const ConnectionChoice choice = Choose_connection(cl, program_dir);
    if (!choice.refusal.empty()) {
        std::fprintf(stderr, "hp54200a: %s\n", choice.refusal.c_str());
        return choice.source == ChoiceSource::CommandLine ? 2 : 1;
    }
    CapturePlatform platform;
    platform::set_current(&platform);
    scope::Configure_bus_address();
    TForm1 form;
    ProgressLines progress;
    platform::set_status_list(&progress);
    // Laid out as on the screen, so that the plot surface has its size, but never shown.
    form.setAttribute(Qt::WA_DontShowOnScreen);
    form.show();
    QApplication::processEvents();

    Operate(form, o);
    int status = 0;
    // A series goes on after the files of the earlier ones; a single capture replaces its files.
    const int first = o.repeat > 1 ? Series_start(o) : 1;
    for (int n = 1; n <= o.repeat && status == 0; ++n) {
        if (n > 1) {
            platform.sleep_ms(static_cast<int>(std::lround(o.interval_s * 1000)));
            form.Button1Click();  // Refresh: the shown channels again
        }
        platform.end_dots();
        if (!Write_outputs(o, first + n - 1, *form.PaintBox1))
            status = 1;
    }
    form.Button2Click();  // Quit: the scope left as the window leaves it, the driver released
    platform::set_status_list(nullptr);
    platform::set_current(nullptr);
    return status;
}

}  // namespace app
