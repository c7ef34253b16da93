// Saved captures opened again, from the simulated scope's acquisitions: the CSV files saved
// again give the same files (the time written aside), the text data files written again by
// "Textfile" are byte-equal, and the reopened capture's PNG is the original's pixel for pixel.
// The first acquiring click brings the scope's data and the window's title back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QImage>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/output/csv_export.h"
#include "app/output/picture_export.h"
#include "app/output/text_export.h"
#include "app/picture/window_state.h"
#include "app/reopen/opened_capture.h"
#include "app/support_window.h"
#include "app/window/open_capture.h"
#include "app/window/paint_box.h"
#include "app/window/radio_group.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The file without its "# written:" line, the one line that tells when it was saved.
std::string Without_time(const std::string& text) {
    const auto at = text.find("# written: ");
    return at == std::string::npos ? text
                                   : text.substr(0, at) + text.substr(text.find('\n', at) + 1);
}

class OpenedCapture : public testing_support::WindowTest {
  protected:
    testing_support::ScratchHome home;
    void TearDown() override {
        app::Close_capture();
        WindowTest::TearDown();
    }
    QImage Png(const std::string& name) const {
        const std::string path = (home.dir / name).string();
        EXPECT_EQ(app::Save_picture(app::PictureFormat::Png, path, form->PaintBox1->width(),
                                    form->PaintBox1->height()),
                  "");
        return QImage(QString::fromStdString(path));
    }
    std::vector<std::string> Csv(const std::string& name) const {
        const app::CsvResult r = app::Save_csv((home.dir / name).string());
        EXPECT_EQ(r.error, "");
        return r.written;
    }
    std::vector<std::string> Text_files(const std::string& folder) const {
        fs::create_directories(home.dir / folder);
        std::vector<std::string> written;
        EXPECT_TRUE(app::Write_data_files_to((home.dir / folder).string(), written));
        return written;
    }
};

TEST_F(OpenedCapture, RoundTripsGiveTheSameFilesAndPixels) {
    const struct {
        const char* meaning;
        std::function<void()> choose;
        size_t csv_files;
        size_t text_files;
    } cases[] = {
        {"FourGraphs",
         [this] {
             click(form->RadioGroup1->button(2));
             click(form->RadioGroup2->button(2));
         },
         4, 4},
        {"Channel2SpectrumAlone", [this] { click(form->RadioGroup2->button(1)); }, 1, 1},
        {"Channel1AveragedAndInverted",
         [this] {
             form->ScrollBox->ensureWidgetVisible(form->ComboBox2);
             form->ComboBox2->setCurrentIndex(2);  // 10 data sets
             click(form->RadioGroup1->button(0));
             click(form->RadioGroup8->button(1));
             click(form->RadioGroup4->button(1));
         },
         1, 1},
        {"Sum", [this] { click(form->RadioGroup3->button(1)); }, 1, 0},
        {"Difference", [this] { click(form->RadioGroup3->button(2)); }, 1, 0},
        {"BothWaveformsInOneGraph", [this] { click(form->RadioGroup3->button(0)); }, 2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.meaning);
        c.choose();
        const app::WindowState shown = app::Window;
        const QImage live = Png("live.png");
        ASSERT_FALSE(live.isNull());
        const std::vector<std::string> saved = Csv("live.csv");
        const std::vector<std::string> texts = Text_files("live");
        ASSERT_EQ(saved.size(), c.csv_files);
        ASSERT_EQ(texts.size(), c.text_files);

        ASSERT_TRUE(app::Open_in_window(*form, saved));
        EXPECT_TRUE(app::Capture_is_open());
        EXPECT_EQ(app::Window.Combined_display, shown.Combined_display);
        EXPECT_EQ(app::Window.Show_ch2_fft, shown.Show_ch2_fft);
        EXPECT_EQ(Png("again.png"), live);
        const std::vector<std::string> again = Csv("again.csv");
        ASSERT_EQ(again.size(), saved.size());
        for (size_t i = 0; i < saved.size(); ++i)
            EXPECT_EQ(Without_time(Read(again[i])), Without_time(Read(saved[i]))) << saved[i];

        if (!texts.empty()) {
            ASSERT_TRUE(app::Open_in_window(*form, texts));
            const std::vector<std::string> rewritten = Text_files("again");
            ASSERT_EQ(rewritten.size(), texts.size());
            for (size_t i = 0; i < texts.size(); ++i) {
                EXPECT_EQ(fs::path(rewritten[i]).filename(), fs::path(texts[i]).filename());
                EXPECT_EQ(Read(rewritten[i]), Read(texts[i])) << texts[i];
            }
        }
        app::Back_to_scope(*form);
        EXPECT_FALSE(app::Capture_is_open());
        EXPECT_EQ(Png("back.png"), live);
        // The next case starts from nothing shown, as the operator would leave it.
        for (auto* g : {form->RadioGroup3, form->RadioGroup1, form->RadioGroup2})
            g->setItemIndex(app::kDisplayOff);
        form->RadioGroup4->setItemIndex(0);
        form->RadioGroup8->setItemIndex(0);
    }
}

TEST_F(OpenedCapture, TheTitleNamesTheFileUntilTheFirstAcquiringClick) {
    click(form->RadioGroup1->button(0));
    const std::vector<std::string> saved = Csv("a.csv");
    const QString title = form->windowTitle();
    const app::WindowState live = app::Window;
    click(form->RadioGroup1->button(3));  // nothing shown
    const app::WindowState off = app::Window;
    ASSERT_TRUE(app::Open_in_window(*form, saved));
    EXPECT_EQ(form->windowTitle(), title + " - a-ch1.csv");
    EXPECT_TRUE(app::Window.Show_ch1_waveform);
    EXPECT_EQ(status_lines().back(), "Opened a-ch1.csv");
    // Output works on the capture, and Save as... too (above); the capture stays.
    choose_output(2);
    click(form->Button4);
    EXPECT_TRUE(app::Capture_is_open());
    EXPECT_TRUE(fs::exists(home.dir / "junk" / "waveform1_data.dat"));
    // Refresh: the display flags as they were before the capture, so nothing is acquired.
    const int paints_before = paints();
    click(form->Button1);
    EXPECT_FALSE(app::Capture_is_open());
    EXPECT_EQ(form->windowTitle(), title);
    EXPECT_EQ(app::Window.Show_ch1_waveform, off.Show_ch1_waveform);
    EXPECT_GT(paints(), paints_before);
    // The scope's display comes back as specified.
    click(form->RadioGroup1->button(0));
    EXPECT_EQ(app::Window.Show_ch1_waveform, live.Show_ch1_waveform);
}

TEST_F(OpenedCapture, FilesDroppedOnTheWindowOpenAsOneCapture) {
    click(form->RadioGroup1->button(2));
    const std::vector<std::string> saved = Csv("d.csv");
    form->RadioGroup1->setItemIndex(app::kDisplayOff);
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& f : saved) urls << QUrl::fromLocalFile(QString::fromStdString(f));
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(500, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(500, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &drop);
    EXPECT_TRUE(app::Capture_is_open());
    EXPECT_TRUE(app::Window.Show_ch1_waveform && app::Window.Show_ch1_fft);
    EXPECT_TRUE(form->windowTitle().endsWith(" - d-ch1.csv, d-ch1-fft.csv"));
}

// The dialogs as the operator meets them: Ctrl+O's file dialog, then Reference...'s file dialog
// and its choice of another graph of the same kind.
TEST_F(OpenedCapture, CtrlOAndReferenceGoThroughTheirDialogs) {
    click(form->RadioGroup1->button(0));
    const std::string saved = Csv("k.csv").front();
    const auto in_modal = [](const std::function<void(QWidget&)>& act) {
        QTimer::singleShot(0, [act] {
            QWidget* w = QApplication::activeModalWidget();
            ASSERT_NE(w, nullptr);
            act(*w);
        });
    };
    const auto choose_file = [&](QWidget& w) {
        auto& d = dynamic_cast<QFileDialog&>(w);
        d.selectFile(QString::fromStdString(saved));
        static_cast<QDialog&>(d).accept();
    };
    in_modal(choose_file);
    QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(app::Capture_is_open());

    in_modal([&](QWidget& w) {
        in_modal([](QWidget& choice) {
            EXPECT_EQ(choice.objectName(), "ReferenceDialog");
            auto* box = choice.findChild<QComboBox*>("ReferenceGraphBox");
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->count(), 4);  // the waveform graphs only
            EXPECT_EQ(box->currentText(), "channel 1's waveform");
            box->setCurrentIndex(box->findText("channel 2's waveform"));
            static_cast<QDialog&>(choice).accept();
        });
        choose_file(w);
    });
    form->ScrollBox->ensureWidgetVisible(form->findChild<QPushButton*>("ReferenceButton"));
    click(form->findChild<QPushButton*>("ReferenceButton"));
    EXPECT_EQ(app::References.graphs[static_cast<size_t>(app::ReferenceGraph::Ch2Waveform)].size(),
              1u);
    EXPECT_EQ(app::Reference_count(), 1);
    EXPECT_TRUE(recorded.platform.boxes.empty());
    click(form->findChild<QPushButton*>("ClearReferencesButton"));
    EXPECT_EQ(app::Reference_count(), 0);
}

}  // namespace
