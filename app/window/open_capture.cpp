// Saved captures and references in the window. The buttons sit in the strip's free area under
// Connection... and Save as...; the picture itself is the plot surface's, drawn from the records
// the opened capture filled.
#include "app/window/open_capture.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QUrl>
#include <QVBoxLayout>

#include "app/analysis/measurements_window.h"
#include "app/reopen/opened_capture.h"
#include "app/reopen/saved_file.h"
#include "app/window/main_window.h"
#include "app/window/paint_box.h"
#include "platform/platform.h"

namespace app {
namespace {

constexpr const char* kSavedFilters =
    "Saved graphs (*.csv *.dat);;CSV data (*.csv);;Text data files (*.dat);;All files (*)";

// The window's title while no capture is shown, to come back to.
QString Title_before;

void Error_box(const std::string& text) {
    platform::current().message_box(platform::BoxKind::Error, "File Error", text);
}

// Local files dropped on the window open as one capture.
class DropFilter final : public QObject {
  public:
    explicit DropFilter(TForm1& form) : QObject(&form), form_(form) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::DragEnter) {
            auto* e = static_cast<QDragEnterEvent*>(event);
            if (!Paths(e->mimeData()).empty())
                e->acceptProposedAction();
            return true;
        }
        if (event->type() == QEvent::Drop) {
            auto* e = static_cast<QDropEvent*>(event);
            const std::vector<std::string> paths = Paths(e->mimeData());
            if (!paths.empty()) {
                e->acceptProposedAction();
                Open_in_window(form_, paths);
            }
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    static std::vector<std::string> Paths(const QMimeData* data) {
        std::vector<std::string> paths;
        if (data == nullptr || !data->hasUrls())
            return paths;
        for (const QUrl& url : data->urls()) {
            if (!url.isLocalFile())
                return {};
            paths.push_back(url.toLocalFile().toStdString());
        }
        return paths;
    }
    TForm1& form_;
};

void Open_dialog(TForm1& form) {
    QFileDialog dialog(&form, QStringLiteral("Open a saved capture"), QString(),
                       QString::fromLatin1(kSavedFilters));
    dialog.setObjectName(QStringLiteral("OpenDialog"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    std::vector<std::string> paths;
    for (const QString& f : dialog.selectedFiles()) paths.push_back(f.toStdString());
    Open_in_window(form, paths);
}

// The file, then the graph it goes to: its own, or another graph of the same kind.
void Reference_dialog(TForm1& form) {
    const QString file = QFileDialog::getOpenFileName(&form, QStringLiteral("Reference"), QString(),
                                                      QString::fromLatin1(kSavedFilters), nullptr,
                                                      QFileDialog::DontUseNativeDialog);
    if (file.isEmpty())
        return;
    const SavedRead read = Read_saved_file(file.toStdString());
    if (!read.graph) {
        Error_box(read.error);
        return;
    }
    const ReferenceGraph own = Reference_graph_of(*read.graph);
    QDialog choice(&form);
    choice.setObjectName(QStringLiteral("ReferenceDialog"));
    choice.setWindowTitle(QStringLiteral("Reference"));
    auto* layout = new QVBoxLayout(&choice);
    layout->addWidget(new QLabel(QStringLiteral("Reference of the graph:"), &choice));
    auto* box = new QComboBox(&choice);
    box->setObjectName(QStringLiteral("ReferenceGraphBox"));
    for (int g = 0; g < kReferenceGraphs; ++g) {
        const auto graph = static_cast<ReferenceGraph>(g);
        if (Is_spectrum_graph(graph) != Is_spectrum_graph(own))
            continue;
        box->addItem(QString::fromStdString(Reference_graph_text(graph)), g);
        if (graph == own)
            box->setCurrentIndex(box->count() - 1);
    }
    layout->addWidget(box);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &choice);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &choice, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &choice, &QDialog::reject);
    layout->addWidget(buttons);
    if (choice.exec() != QDialog::Accepted)
        return;
    Reference_in_window(form, file.toStdString(),
                        static_cast<ReferenceGraph>(box->currentData().toInt()));
}

// The title names the capture's files; the status list says so.
void Name_capture(TForm1& form, bool keep_title) {
    if (keep_title)
        Title_before = form.windowTitle();
    form.setWindowTitle(QString::fromLatin1(kWindowCaption) + QStringLiteral(" - ") +
                        QString::fromStdString(Opened_capture_names()));
    form.send_message("Opened " + Opened_capture_names());
}

QPushButton* Strip_button(TForm1& form, const char* name, const char* caption, int left, int top,
                          int width) {
    auto* b = new QPushButton(QString::fromLatin1(caption), form.Content);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(left, top, width, 25);
    b->setAutoDefault(true);
    return b;
}

}  // namespace

void Add_capture_controls(TForm1& form) {
    QPushButton* open = Strip_button(form, "OpenButton", "Open...", 0, 816, 89);
    QPushButton* reference = Strip_button(form, "ReferenceButton", "Reference...", 96, 816, 89);
    QPushButton* clear =
        Strip_button(form, "ClearReferencesButton", "Clear references", 0, 848, 185);
    QObject::connect(open, &QPushButton::clicked, &form, [&form] { Open_dialog(form); });
    QObject::connect(reference, &QPushButton::clicked, &form, [&form] { Reference_dialog(form); });
    QObject::connect(clear, &QPushButton::clicked, &form,
                     [&form] { Clear_references_in_window(form); });
    auto* shortcut = new QShortcut(QKeySequence::Open, &form);
    QObject::connect(shortcut, &QShortcut::activated, &form, [&form] { Open_dialog(form); });
    form.setAcceptDrops(true);
    form.installEventFilter(new DropFilter(form));
}

bool Open_in_window(TForm1& form, const std::vector<std::string>& paths) {
    const bool was_open = Capture_is_open();
    if (const std::string why = Open_capture(paths); !why.empty()) {
        Error_box(why);
        return false;
    }
    Name_capture(form, !was_open);
    form.PaintBox1->repaint();
    return true;
}

void Show_opened_capture(TForm1& form) {
    Name_capture(form, true);
}

// An open measurements window gains or loses the references' columns.
static void Refresh_measurements(TForm1& form) {
    if (form.Measurements != nullptr && form.Measurements->isVisible())
        form.Measurements->refresh();
}

void Back_to_scope(TForm1& form) {
    if (!Capture_is_open())
        return;
    Close_capture();
    form.setWindowTitle(Title_before);
    form.PaintBox1->repaint();
}

bool Reference_in_window(TForm1& form, const std::string& path, ReferenceGraph graph) {
    if (const std::string why = Load_reference(path, graph); !why.empty()) {
        Error_box(why);
        return false;
    }
    form.PaintBox1->repaint();
    Refresh_measurements(form);
    return true;
}

void Clear_references_in_window(TForm1& form) {
    Clear_references();
    form.PaintBox1->repaint();
    Refresh_measurements(form);
}

}  // namespace app
