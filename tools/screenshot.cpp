// Makes the README's pictures: the program's window against the simulated scope with both
// channels' waveforms and spectra shown, the window opened wide enough to show the whole panel;
// and, when asked, the Connection dialog after Find the scope found the simulated scope standing
// at address 9.
// Usage: hp54200a_screenshot OUTPUT.png [DIALOG.png]   (GPIB_LIBRARY must name the simulated
// scope)
#include <QApplication>
#include <QLocale>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <cstdio>
#include <cstdlib>

#include "app/connect/connection_dialog.h"
#include "app/window/main_window.h"
#include "app/window/qt_dialogs.h"
#include "app/window/radio_group.h"
#include "dsp/eng_format.h"
#include "platform/environment.h"
#include "platform/platform.h"

namespace {

bool Dialog_picture(const char* path) {
    platform::Set_environment_variable("HP_SIM_ADDRESS", "9");
    app::ConnectionDialog dialog("SIM::5::INSTR", false,
                                 QCoreApplication::applicationDirPath().toStdString());
    dialog.show();
    dialog.find();
    while (dialog.probe_running() || dialog.StopButton->isEnabled())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    QApplication::processEvents();
    platform::Unset_environment_variable("HP_SIM_ADDRESS");
    if (!dialog.grab().save(QString::fromLocal8Bit(path))) {
        std::fprintf(stderr, "could not write %s\n", path);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [DIALOG.png]\n", argv[0]);
        return 2;
    }
    QApplication application(argc, argv);
    if (argc == 3 && !Dialog_picture(argv[2]))
        return 1;
    dsp::Set_decimal_separator(QLocale::system().decimalPoint().toStdString());
    app::TForm1 form;
    app::QtPlatform platform(&form);
    platform::set_current(&platform);
    form.show();
    QApplication::processEvents();

    // As an operator would: channel 1 and channel 2 "Waveform + FFT".
    form.RadioGroup1->setItemIndex(2);
    form.RadioGroup2->setItemIndex(2);

    form.resize(app::kContentWidth + 4, app::kContentHeight + 4);
    form.ScrollBox->verticalScrollBar()->setValue(0);
    QApplication::processEvents();
    const bool saved = form.grab().save(QString::fromLocal8Bit(argv[1]));
    platform::set_current(nullptr);
    if (!saved) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
