// Save as...: the numbered default name in the last folder, the file written by its type, the
// folder remembered, Cancel writing nothing, a failure named with its reason, and nothing
// replaced without one question that names the files.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/connect/connection.h"
#include "app/output/save_as.h"
#include "app/support_window.h"
#include "app/window/radio_group.h"

namespace {

namespace fs = std::filesystem;

class SaveAsTest : public testing_support::WindowTest {
  protected:
    testing_support::ScratchHome home;

    void SetUp() override {
        WindowTest::SetUp();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(home.dir.string()));
    }
    // Clicks Save as... and acts on its dialog; returns the name the dialog offered.
    std::string Save(const std::function<void(QFileDialog&)>& act) {
        std::string offered;
        QTimer::singleShot(0, [&] {
            auto* d = dynamic_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            offered = d->selectedFiles().value(0).toStdString();
            act(*d);
        });
        form->ScrollBox->ensureWidgetVisible(form->SaveAsButton);
        click(form->SaveAsButton);
        return offered;
    }
};

TEST_F(SaveAsTest, NumberedNamesFilesByTypeTheFolderKeptAndFailuresNamed) {
    click(form->RadioGroup1->button(0));  // channel 1 "Waveform"
    fs::create_directory(home.dir / "pictures");
    std::ofstream(home.dir / "pictures" / "hp54200a-0041.csv") << "x";
    QSettings(app::kSettingsOrganization, app::kSettingsApplication)
        .setValue("output/folder", QString::fromStdString((home.dir / "pictures").string()));

    // Cancel: nothing written, nothing said.
    EXPECT_EQ(Save([](QFileDialog& d) { d.reject(); }),
              (home.dir / "pictures" / "hp54200a-0042.png").string());
    EXPECT_TRUE(recorded.platform.boxes.empty());

    // A name without an extension takes the chosen type's.
    const fs::path svg = home.dir / "elsewhere" / "trace";
    fs::create_directory(svg.parent_path());
    Save([&](QFileDialog& d) {
        d.selectNameFilter("SVG drawing (*.svg)");
        d.selectFile(QString::fromStdString(svg.string()));
        static_cast<QDialog&>(d).accept();
    });
    ASSERT_TRUE(fs::exists(svg.string() + ".svg"));
    ASSERT_EQ(recorded.platform.boxes.size(), 1u);
    EXPECT_EQ(recorded.platform.boxes[0].text, "OK: " + svg.string() + ".svg written.");
    // The folder is remembered: the next offer is numbered there.
    EXPECT_EQ(Save([](QFileDialog& d) { d.reject(); }),
              (svg.parent_path() / "hp54200a-0001.png").string());

    // CSV: one file per shown graph, all named.
    Save([&](QFileDialog& d) {
        d.selectFile(QString::fromStdString((home.dir / "data.csv").string()));
        static_cast<QDialog&>(d).accept();
    });
    EXPECT_TRUE(fs::exists(home.dir / "data-ch1.csv"));
    EXPECT_EQ(recorded.platform.boxes.back().text,
              "OK: " + (home.dir / "data-ch1.csv").string() + " written.");

    // A folder that is not there: the path and the system's reason, never a success.
    const fs::path nowhere = home.dir / "no-such-folder" / "x.png";
    Save([&](QFileDialog& d) {
        d.selectFile(QString::fromStdString(nowhere.string()));
        static_cast<QDialog&>(d).accept();
    });
    EXPECT_EQ(recorded.platform.boxes.back().kind, platform::BoxKind::Error);
    EXPECT_NE(
        recorded.platform.boxes.back().text.find(nowhere.string() + ": No such file or directory"),
        std::string::npos)
        << recorded.platform.boxes.back().text;
    EXPECT_FALSE(fs::exists(nowhere));
}

// The next number skips every number that any file of the series uses, whatever its type or
// suffix; other names do not count.
TEST(NextNumberedName, SkipsEveryNumberOfTheSeries) {
    struct Row {
        const char* meaning;
        std::vector<const char*> present;
        const char* extension;
        const char* offered;
    } const rows[] = {
        {"empty folder", {}, ".png", "hp54200a-0001.png"},
        {"a picture", {"hp54200a-0003.png"}, ".svg", "hp54200a-0004.svg"},
        {"CSV files of a save",
         {"hp54200a-0004-ch1.csv", "hp54200a-0004-ch2-fft.csv"},
         ".csv",
         "hp54200a-0005.csv"},
        {"no extension", {"hp54200a-0007"}, ".png", "hp54200a-0008.png"},
        {"another program's case", {"HP54200A-0009.PNG"}, ".png", "hp54200a-0010.png"},
        {"five digits", {"hp54200a-12345.pdf", "hp54200a-0002.png"}, ".pdf", "hp54200a-12346.pdf"},
        {"other names",
         {"hp54200a-x.png", "hp54200a-12.png", "trace-0099.png", "hp54200a.png"},
         ".png",
         "hp54200a-0001.png"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.meaning);
        testing_support::ScratchHome home;
        for (const char* name : row.present) std::ofstream(home.dir / name) << "x";
        EXPECT_EQ(app::Next_numbered_name(home.dir.string(), row.extension),
                  (home.dir / row.offered).string());
    }
}

// Saving CSV where its files are: one question naming every file there, before any is replaced;
// Cancel keeps them all, Replace writes them. A remembered folder since deleted gives way to the
// current folder.
TEST_F(SaveAsTest, AsksOnceNamingTheFilesBeforeReplacingAny) {
    click(form->RadioGroup1->button(2));  // channel 1 "Waveform + FFT": -ch1 and -ch1-fft
    const fs::path base = home.dir / "hp54200a-0004.csv";
    const fs::path ch1 = home.dir / "hp54200a-0004-ch1.csv";
    const fs::path fft = home.dir / "hp54200a-0004-ch1-fft.csv";
    std::ofstream(ch1) << "old";
    std::ofstream(fft) << "old";
    const auto read = [](const fs::path& f) {
        std::ifstream in(f);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    struct Row {
        const char* meaning;
        QMessageBox::StandardButton answer;
        bool replaced;
    } const rows[] = {{"Cancel", QMessageBox::No, false}, {"Replace", QMessageBox::Yes, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.meaning);
        const std::size_t boxes_before = recorded.platform.boxes.size();
        std::string asked;
        int questions = 0;
        Save([&](QFileDialog& d) {
            d.selectFile(QString::fromStdString(base.string()));
            QTimer::singleShot(0, [&] {
                auto* box = dynamic_cast<QMessageBox*>(QApplication::activeModalWidget());
                ASSERT_NE(box, nullptr);
                ++questions;
                asked = box->text().toStdString();
                box->button(row.answer)->click();
            });
            static_cast<QDialog&>(d).accept();
        });
        EXPECT_EQ(questions, 1);
        EXPECT_NE(asked.find(ch1.string() + "\n" + fft.string()), std::string::npos) << asked;
        EXPECT_EQ(read(ch1) != "old", row.replaced);
        EXPECT_EQ(read(fft) != "old", row.replaced);
        EXPECT_EQ(recorded.platform.boxes.size(), boxes_before + (row.replaced ? 1 : 0));
    }
    // The series goes on after the saved files' number, in the folder remembered.
    EXPECT_EQ(Save([](QFileDialog& d) { d.reject(); }), (home.dir / "hp54200a-0005.png").string());
    // That folder deleted: the current folder is offered.
    const fs::path current = home.dir / "current";
    fs::create_directory(current);
    fs::current_path(current);
    fs::remove(ch1);
    fs::remove(fft);
    QSettings(app::kSettingsOrganization, app::kSettingsApplication)
        .setValue("output/folder", QString::fromStdString((home.dir / "gone").string()));
    EXPECT_EQ(Save([](QFileDialog& d) { d.reject(); }), (current / "hp54200a-0001.png").string());
}

}  // namespace
