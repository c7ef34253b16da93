// The shared window fixture and the one QApplication of each window test program.
#include "app/support_window.h"

#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QRadioButton>
#include <QScrollArea>
#include <QTest>
#include <algorithm>
#include <cstdlib>

#include "app/picture/window_state.h"
#include "app/window/paint_box.h"
#include "app/window/radio_group.h"
#include "model/waveform.h"
#include "scope/gpib_driver.h"
#include "scope/scope_link.h"

namespace testing_support {
namespace {

class QtEnvironment final : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "window_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

  private:
    std::unique_ptr<QApplication> app_;
};

const auto* const qt_environment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

int count_of(const std::vector<std::string>& v, const std::string& s) {
    return static_cast<int>(std::count(v.begin(), v.end(), s));
}

ScratchHome::ScratchHome() {
    char templ[] = "/tmp/hp_home_XXXXXX";
    dir = mkdtemp(templ);
    old_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    old_home_ = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    setenv("HOME", dir.c_str(), 1);
    std::filesystem::create_directory(dir / "junk");
}

ScratchHome::~ScratchHome() {
    std::filesystem::current_path(old_cwd_);
    setenv("HOME", old_home_.c_str(), 1);
    std::filesystem::remove_all(dir);
}

void WindowTest::SetUp() {
    const char* lib = std::getenv("HP_SIM_LIBRARY");
    ASSERT_NE(lib, nullptr) << "HP_SIM_LIBRARY must name the simulated scope";
    setenv("GPIB_LIBRARY", lib, 1);
    scope::Link = scope::LinkState{};
    model::Waveforms = {};
    app::Window = app::WindowState{};
    form = std::make_unique<app::TForm1>();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
}

void WindowTest::TearDown() {
    form.reset();
    if (scope::Gpib_library_loaded())
        scope::Release_gpib_library();
    unsetenv("GPIB_LIBRARY");
}

std::vector<std::string> WindowTest::status_lines() const {
    std::vector<std::string> lines;
    for (int i = 0; i < form->ListBox1->count(); ++i)
        lines.push_back(form->ListBox1->item(i)->text().toStdString());
    return lines;
}

int WindowTest::paints() const {
    return form->PaintBox1->paint_count();
}

void WindowTest::click(QAbstractButton* b) const {
    form->ScrollBox->ensureWidgetVisible(b);
    const bool radio = qobject_cast<QRadioButton*>(b) != nullptr;
    QTest::mouseClick(b, Qt::LeftButton, {}, radio ? QPoint(8, b->height() / 2) : QPoint());
}

void WindowTest::open_connection() {
    form->RadioGroup2->showItemIndex(0);
    click(form->RadioGroup2->button(3));
    ASSERT_TRUE(scope::Link.Scope_initialized);
    sim.clear_log();
}

void WindowTest::choose_output(int index) const {
    QComboBox* list = form->ComboBox1;
    form->ScrollBox->ensureWidgetVisible(list);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Home);
    for (int i = 0; i < index; ++i) QTest::keyClick(list, Qt::Key_Down);
    ASSERT_EQ(list->currentIndex(), index);
}

}  // namespace testing_support
