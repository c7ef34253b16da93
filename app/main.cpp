// The program's entry point: the command line, the interface and the bus address, then the main
// window and its event loop. Nothing is loaded and nothing is sent to the scope until the
// operator acts.
#include <QApplication>
#include <QCoreApplication>
#include <QLocale>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/capture/capture.h"
#include "app/connect/command_line.h"
#include "app/connect/connection.h"
#include "app/connect/connection_dialog.h"
#include "app/connect/start_choice.h"
#include "app/reopen/opened_capture.h"
#include "app/window/main_window.h"
#include "app/window/no_display.h"
#include "app/window/open_capture.h"
#include "app/window/qt_dialogs.h"
#include "dsp/eng_format.h"
#include "platform/console.h"
#include "platform/platform.h"
#include "scope/bus_address.h"
#include "scope/resource.h"
#include "vistrel/metafile.h"

namespace {

// The program's folder, as Qt finds it; an application object is made for the question when
// there is none yet (the usage needs no display).
std::string Program_dir(char* argv0) {
    if (QCoreApplication::instance() != nullptr)
        return QCoreApplication::applicationDirPath().toStdString();
    int argc = 1;
    char* argv[] = {argv0, nullptr};
    const QCoreApplication core(argc, argv);
    return QCoreApplication::applicationDirPath().toStdString();
}

int Refuse_arguments(const std::string& why, char* argv0) {
    std::fprintf(stderr, "hp54200a: %s\n\n%s", why.c_str(),
                 app::Usage_text(Program_dir(argv0)).c_str());
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    platform::Attach_to_starting_console();
    if (argc > 1 && (std::string(argv[1]) == "capture" || std::string(argv[1]) == "--capture")) {
        const std::vector<std::string> args(argv + 2, argv + argc);
        for (const std::string& a : args) {
            if (a == "--help" || a == "-h") {
                std::fputs(app::Capture_usage().c_str(), stdout);
                return 0;
            }
        }
        const app::CaptureOptions options = app::Parse_capture(args);
        if (!options.refusal.empty()) {
            std::fprintf(stderr, "hp54200a capture: %s\n\n%s", options.refusal.c_str(),
                         app::Capture_usage().c_str());
            return 2;
        }
        return app::Run_capture(options, argv[0]);
    }
    app::CommandLine command_line = app::Parse_command_line(argc, argv);
    switch (command_line.action) {
        case app::EarlyAction::Help:
            std::fputs(app::Usage_text(Program_dir(argv[0])).c_str(), stdout);
            return 0;
        case app::EarlyAction::Version:
            std::fputs(app::Version_text().c_str(), stdout);
            return 0;
        case app::EarlyAction::Run:
            break;
    }
    if (!command_line.refusal.empty())
        return Refuse_arguments(command_line.refusal, argv[0]);
    // A saved capture is read before any window exists, so that a bad file is told without one.
    if (!command_line.open_files.empty()) {
        if (const std::string why = app::Open_capture(command_line.open_files); !why.empty()) {
            std::fprintf(stderr, "hp54200a: %s\n", why.c_str());
            return 2;
        }
    }
    int qt_argc = static_cast<int>(command_line.qt_arguments.size()) - 1;
    std::optional<app::NoDisplayGuard> no_display(std::in_place);
    QApplication application(qt_argc, command_line.qt_arguments.data());
    no_display.reset();
    if (qt_argc > 1)  // Qt has taken its own options; this is not one
        return Refuse_arguments(
            "unknown argument \"" + std::string(command_line.qt_arguments[1]) + "\"", argv[0]);
    const std::string program_dir = QCoreApplication::applicationDirPath().toStdString();
    const app::ConnectionChoice choice = app::Choose_connection(command_line, program_dir);
    if (!choice.refusal.empty() && choice.source == app::ChoiceSource::CommandLine)
        return Refuse_arguments(choice.refusal, argv[0]);
    // The titles' numbers use the decimal separator of the operator's locale.
    dsp::Set_decimal_separator(QLocale::system().decimalPoint().toStdString());
    app::TForm1 form;
    app::QtPlatform platform(&form);
    platform::set_current(&platform);
    bool chosen = choice.source != app::ChoiceSource::Default;
    if (!choice.refusal.empty())
        chosen = app::Settle_refused_saved_choice(choice, &form, program_dir);
    else if (command_line.choose_connection && !chosen)
        chosen = app::Run_first_connection_dialog(&form, program_dir) == app::FirstChoice::Chosen;
    // Nothing configured: the window as it always was, its title without a resource.
    if (chosen)
        form.show_resource(scope::Resource_in_environment());
    if (app::Capture_is_open())
        app::Show_opened_capture(form);
    scope::Configure_bus_address();
    form.show();
    const int status = QApplication::exec();
    // The plotting unit's end: its grid-line lists released and the metafile name cleared,
    // after Quit or the close box alike.
    vistrel::ReleaseMetafileWriter();
    platform::set_current(nullptr);
    return status;
}
