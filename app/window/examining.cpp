// The window's part in examining a trace: the plot surface's zoom and cursors, the Run button
// and its interval beside the other buttons of the left strip, and the shortcut keys. None of it
// moves a control of the panel or changes what the window does until it is used.
#include <QDoubleSpinBox>
#include <QKeySequence>
#include <QPushButton>

#include "app/connect/connection.h"
#include "app/examine/graph_view.h"
#include "app/examine/plot_examiner.h"
#include "app/examine/run_control.h"
#include "app/window/main_window.h"
#include "app/window/paint_box.h"

namespace app {

// The Run button and its interval, under the plot beside the status list that logs the runs.
inline constexpr int kRunLeft = 200;
inline constexpr int kRunTop = 832;
inline constexpr int kRunWidth = 89;
inline constexpr int kRunHeight = 25;
inline constexpr int kRunGap = 7;

void TForm1::build_examining() {
    // A new window starts with every graph in its own view and no cursors.
    examine::Examine = examine::Examination{};
    Examiner = new examine::PlotExaminer(PaintBox1, *PaintBox1);
    PaintBox1->setToolTip(QStringLiteral(
        "Wheel: zoom time or frequency (Shift: value axis); drag: pan; right drag or Ctrl+drag: "
        "zoom to the box; double-click or Home: whole graph; click: cursor A (Shift+click: B); "
        "Left, Right: move the cursor; Esc: remove the cursors"));
    Run = new examine::RunControl(
        Content, kRunLeft, kRunTop, kRunWidth, kRunHeight, kRunGap, [this] { Button1Click(); },
        kSettingsOrganization, kSettingsApplication);
    examine::Add_key(this, Button1, QKeySequence(Qt::Key_F5), QStringLiteral("Refresh"));
    examine::Add_key(this, SaveAsButton, QKeySequence(Qt::CTRL | Qt::Key_S),
                     QStringLiteral("Save the picture or the data"));
    examine::Add_key(this, ConnectionButton, QKeySequence(Qt::CTRL | Qt::Key_K),
                     QStringLiteral("Choose the interface and address"));
    examine::Add_key(this, Run->button(), QKeySequence(Qt::CTRL | Qt::Key_R),
                     QStringLiteral("Run: repeat Refresh until pressed again"));
    // Enter stays Quit's, as the window has always had it.
    Button2->setToolTip(QStringLiteral("Quit (Enter)"));
}

}  // namespace app
