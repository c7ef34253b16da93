// The main window against the simulated scope, for the window and end-to-end tests: one
// QApplication for the whole test program, a fresh window per test with the recording platform
// installed, and the operator's clicks.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QRadioButton>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/window/main_window.h"
#include "recording_platform.h"
#include "sim_harness.h"

namespace testing_support {

int count_of(const std::vector<std::string>& v, const std::string& s);

// A fresh temporary folder as the current directory (where the metafile goes) and as HOME, with
// the junk folder the text files need; the old ones come back when it goes.
class ScratchHome {
  public:
    ScratchHome();
    ~ScratchHome();
    ScratchHome(const ScratchHome&) = delete;
    ScratchHome& operator=(const ScratchHome&) = delete;
    std::filesystem::path dir;

  private:
    std::filesystem::path old_cwd_;
    std::string old_home_;
};

class WindowTest : public ::testing::Test {
  protected:
    sim_harness::SimHarness sim;
    RecordedPlatform recorded;
    std::unique_ptr<app::TForm1> form;

    void SetUp() override;
    void TearDown() override;

    std::vector<std::string> status_lines() const;
    int paints() const;
    // As the operator does: scroll the control into view, then click it. A radio button takes
    // clicks only on its circle and text, so aim near its left edge.
    void click(QAbstractButton* b) const;
    // Opens the connection the way the operator would: "Off" in the channel 2 display group
    // acquires nothing. The log is emptied afterwards.
    void open_connection();
    // The output format as the operator picks it: keys on the closed list.
    void choose_output(int index) const;
};

}  // namespace testing_support
