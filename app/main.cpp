// The program's entry point: the command line, the bus address, then the main window and its
// event loop. Nothing is loaded and nothing is sent to the scope until the operator acts.
#include <QApplication>
#include <QLocale>
#include <cstdio>

#include "app/command_line.h"
#include "app/main_window.h"
#include "app/qt_dialogs.h"
#include "dsp/eng_format.h"
#include "platform/platform.h"
#include "scope/bus_address.h"
#include "vistrel/metafile.h"

namespace {

int Refuse_argument(const char* argument) {
    std::fprintf(stderr, "hp54200a: unknown argument \"%s\"\n\n%s", argument,
                 app::Usage_text().c_str());
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    switch (app::Early_action(argc, argv)) {
        case app::EarlyAction::Help:
            std::fputs(app::Usage_text().c_str(), stdout);
            return 0;
        case app::EarlyAction::Version:
            std::fputs(app::Version_text().c_str(), stdout);
            return 0;
        case app::EarlyAction::Run:
            break;
    }
    if (const char* unknown = app::Unknown_argument(argc, argv))
        return Refuse_argument(unknown);
    QApplication application(argc, argv);
    if (argc > 1)
        return Refuse_argument(argv[1]);  // Qt has taken its own options; this is not one
    // The titles' numbers use the decimal separator of the operator's locale.
    dsp::Set_decimal_separator(QLocale::system().decimalPoint().toStdString());
    app::TForm1 form;
    app::QtPlatform platform(&form);
    platform::set_current(&platform);
    scope::Configure_bus_address();
    form.show();
    const int status = QApplication::exec();
    // The plotting unit's end: its grid-line lists released and the metafile name cleared,
    // after Quit or the close box alike.
    vistrel::ReleaseMetafileWriter();
    platform::set_current(nullptr);
    return status;
}
