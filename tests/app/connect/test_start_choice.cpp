// A start whose saved connection cannot be used: the refusal in a box, then the Connection
// dialog; Cancel goes on with the default (or what the environment names) and keeps the saved
// choice, as Cancel at the first start does; OK saves and uses the new choice.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <cstdlib>

#include "app/connect/connection.h"
#include "app/connect/connection_dialog.h"
#include "app/connect/start_choice.h"
#include "app/support_window.h"

namespace {

constexpr const char* kVariables[] = {"GPIB_LIBRARY",  "GPIB_BOARD", "GPIB_ADDRESS",
                                      "PROLOGIX_PORT", "VXI11_HOST", "VXI11_DEVICE"};

TEST(RefusedSavedChoice, CancelGoesOnLikeTheFirstStartAndOkReplacesIt) {
    const struct {
        const char* meaning;
        const char* variable;  // GPIB_ADDRESS; null: unset
        const char* typed;     // in the dialog, then OK; null: Cancel
        bool chosen;
        const char* saved_after;
    } rows[] = {
        {"Cancel: the default", nullptr, nullptr, false, "GPIB0::99::INSTR"},
        {"Cancel: the environment's", "7", nullptr, true, "GPIB0::99::INSTR"},
        {"OK: the new choice", nullptr, "SIM::7::INSTR", true, "SIM::7::INSTR"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.meaning);
        testing_support::ScratchHome home;
        testing_support::RecordedPlatform recorded;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(home.dir.string()));
        for (const char* v : kVariables) unsetenv(v);
        if (row.variable != nullptr)
            setenv("GPIB_ADDRESS", row.variable, 1);
        app::Save_resource("GPIB0::99::INSTR");
        const std::string program_dir = QCoreApplication::applicationDirPath().toStdString();
        const app::ConnectionChoice choice = app::Choose_connection({}, program_dir);
        ASSERT_NE(choice.refusal, "");
        QTimer::singleShot(0, [&] {
            auto* d = dynamic_cast<app::ConnectionDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            if (row.typed == nullptr) {
                d->Buttons->button(QDialogButtonBox::Cancel)->click();
                return;
            }
            d->ResourceEdit->setText(row.typed);
            d->Buttons->button(QDialogButtonBox::Ok)->click();
        });
        bool chosen = false;
        EXPECT_NO_THROW(chosen = app::Settle_refused_saved_choice(choice, nullptr, program_dir));
        EXPECT_EQ(chosen, row.chosen);
        EXPECT_EQ(recorded.platform.stops, 0);
        ASSERT_EQ(recorded.platform.boxes.size(), 1u);
        EXPECT_EQ(recorded.platform.boxes[0].text, choice.refusal);
        EXPECT_EQ(app::Saved_resource(), row.saved_after);
        for (const char* v : kVariables) unsetenv(v);
    }
}

}  // namespace
