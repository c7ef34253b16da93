// Save as...: the numbered default name in the last folder, the file written by its type, the
// folder remembered, Cancel writing nothing, and a failure named with its reason.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
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

}  // namespace
