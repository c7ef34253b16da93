// The program's entry point: the main window and its event loop. Nothing is loaded and nothing
// is sent to the scope until the operator acts.
#include <QApplication>
#include <QLocale>

#include "app/dialogs.h"
#include "app/main_window.h"
#include "app/qt_dialogs.h"
#include "dsp/eng_format.h"
#include "vistrel/metafile.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // The titles' numbers use the decimal separator of the operator's locale.
    dsp::Set_decimal_separator(QLocale::system().decimalPoint().toStdString());
    app::TForm1 form;
    app::QtPlatform platform(&form);
    app::set_platform(&platform);
    form.show();
    const int status = QApplication::exec();
    // The plotting unit's end: its grid-line lists released and the metafile name cleared,
    // after Quit or the close box alike.
    vistrel::ReleaseMetafileWriter();
    app::set_platform(nullptr);
    return status;
}
