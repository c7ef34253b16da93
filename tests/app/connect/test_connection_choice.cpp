// Choosing the interface: the order of command line, environment, saved choice and default;
// the Connection dialog's fields and string, its Test and Find the scope; and the window's
// Connection button, which saves the choice and puts it in force while no connection is open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "app/connect/connection.h"
#include "app/connect/connection_dialog.h"
#include "app/support_window.h"
#include "scope/bus_address.h"
#include "scope/gpib_driver.h"

namespace {

constexpr const char* kVariables[] = {"GPIB_LIBRARY",  "GPIB_BOARD",    "GPIB_ADDRESS",
                                      "PROLOGIX_PORT", "VXI11_HOST",    "VXI11_DEVICE",
                                      "VISA_LIBRARY",  "VISA_RESOURCE", "USBTMC_DEVICE"};

std::string Program_dir() {
    return QCoreApplication::applicationDirPath().toStdString();
}

// The settings file in the scratch folder, and no interface variable set.
class ConnectionTest : public ::testing::Test {
  protected:
    testing_support::ScratchHome home;
    std::filesystem::path settings_file = home.dir / "hp54200a" / "hp54200a.conf";

    void SetUp() override {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(home.dir.string()));
        for (const char* v : kVariables) unsetenv(v);
    }
    void TearDown() override {
        for (const char* v : kVariables) unsetenv(v);
    }
    static bool Wait_for_probe(app::ConnectionDialog& d) {
        return QTest::qWaitFor([&] { return !d.probe_running() && !d.StopButton->isEnabled(); },
                               20000);
    }
};

TEST_F(ConnectionTest, CommandLineThenEnvironmentThenSavedChoiceThenDefault) {
    struct Case {
        const char* name;
        const char* saved;        // nullptr: nothing saved
        const char* environment;  // GPIB_ADDRESS, nullptr: unset
        const char* resource;     // --resource, nullptr: none
        const char* address;      // --address
        app::ChoiceSource source;
        const char* in_use;
    };
    const Case cases[] = {
        {"nothing", nullptr, nullptr, nullptr, nullptr, app::ChoiceSource::Default, ""},
        {"saved", "SIM::9::INSTR", nullptr, nullptr, nullptr, app::ChoiceSource::Saved,
         "SIM::9::INSTR"},
        {"variable_over_saved", "SIM::9::INSTR", "7", nullptr, nullptr,
         app::ChoiceSource::Environment, "SIM::7::INSTR"},
        {"command_line_over_both", "SIM::9::INSTR", "7", "GPIB1::3::INSTR", nullptr,
         app::ChoiceSource::CommandLine, "GPIB1::3::INSTR"},
        {"address_option_over_variable", nullptr, "7", nullptr, "12",
         app::ChoiceSource::CommandLine, "GPIB0::12::INSTR"},
        {"address_for_an_interface_form", nullptr, nullptr, "PRLGX-ASRL::/dev/ttyUSB0::INTFC", "12",
         app::ChoiceSource::CommandLine, "PRLGX-ASRL::/dev/ttyUSB0::12::INSTR"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(home.dir / "hp54200a");
        if (c.saved != nullptr)
            app::Save_resource(c.saved);
        for (const char* v : kVariables) unsetenv(v);
        if (c.environment != nullptr)
            setenv("GPIB_ADDRESS", c.environment, 1);
        app::CommandLine cl;
        if (c.resource != nullptr)
            cl.resource = c.resource;
        if (c.address != nullptr)
            cl.address = c.address;
        const app::ConnectionChoice choice = app::Choose_connection(cl, Program_dir());
        EXPECT_EQ(choice.refusal, "");
        EXPECT_EQ(choice.source, c.source);
        EXPECT_EQ(choice.resource, c.in_use);
        // Reading never writes: a start with nothing saved leaves no settings file.
        EXPECT_EQ(std::filesystem::exists(settings_file), c.saved != nullptr);
    }
}

TEST_F(ConnectionTest, SavedChoicesThatCannotBeUsedAreRefusedWithTheDialogsHint) {
    for (const char* saved : {"GPIB0::99::INSTR", "PRLGX-ASRL::/dev/hp54200a-gone::5::INSTR"}) {
        SCOPED_TRACE(saved);
        app::Save_resource(saved);
        const app::ConnectionChoice choice = app::Choose_connection({}, Program_dir());
        EXPECT_EQ(choice.source, app::ChoiceSource::Saved);
        EXPECT_NE(choice.refusal.find(saved), std::string::npos) << choice.refusal;
        EXPECT_NE(choice.refusal.find("choose another there"), std::string::npos);
        EXPECT_EQ(std::getenv("GPIB_LIBRARY"), nullptr);  // nothing of it put in force
    }
    app::CommandLine bad;
    bad.resource = "GPIB0::5::INTFC";
    EXPECT_EQ(app::Choose_connection(bad, Program_dir()).source, app::ChoiceSource::CommandLine);
}

TEST_F(ConnectionTest, DialogFieldsAndStringFollowEachOther) {
    app::ConnectionDialog d("", false, Program_dir());
    EXPECT_EQ(d.resource(), "GPIB0::5::INSTR");
    d.Kind->setCurrentIndex(app::ConnectionDialog::kSimulated);
    d.Address->setValue(9);
    EXPECT_EQ(d.resource(), "SIM::9::INSTR");
    d.Kind->setCurrentIndex(app::ConnectionDialog::kAdapter);
    d.AdapterNetwork->setChecked(true);
    d.AdapterHost->setText("10.0.0.7");
    d.AdapterPort->setValue(2000);
    EXPECT_EQ(d.resource(), "PRLGX-TCPIP::10.0.0.7::2000::9::INSTR");
    d.Kind->setCurrentIndex(app::ConnectionDialog::kGateway);
    d.GatewayHost->setText("gw.lab");
    d.GatewayDevice->setText("hpib,5");
    EXPECT_EQ(d.resource(), "TCPIP0::gw.lab::hpib,9::INSTR");

    // Typed: the fields follow a string that parses; one that does not is explained, and OK
    // refuses it.
    d.ResourceEdit->selectAll();
    QTest::keyClicks(d.ResourceEdit, "PRLGX-ASRL::/dev/ttyUSB3::INTFC");
    EXPECT_EQ(d.Kind->currentIndex(), app::ConnectionDialog::kAdapter);
    EXPECT_TRUE(d.AdapterSerial->isChecked());
    EXPECT_EQ(d.SerialPort->currentText(), "/dev/ttyUSB3");
    EXPECT_TRUE(d.Buttons->button(QDialogButtonBox::Ok)->isEnabled());
    d.ResourceEdit->selectAll();
    QTest::keyClicks(d.ResourceEdit, "GPIB0::31");
    EXPECT_NE(d.Problem->text().indexOf("\"31\" is not a primary address"), -1);
    EXPECT_FALSE(d.Buttons->button(QDialogButtonBox::Ok)->isEnabled());
    EXPECT_FALSE(d.TestButton->isEnabled());
}

// The fake VISA built with the tests lists GPIB0::5::INSTR and a USB resource, both the
// simulated scope, and a serial resource where nothing answers.
TEST_F(ConnectionTest, VisaResourcesAreListedAndFindAsksEachOne) {
    const std::string fake =
        std::string(std::getenv("HP_BUILD_DIR")) + "/tests/fake_visa/libvisa.so.0";
    setenv("VISA_LIBRARY", fake.c_str(), 1);
    app::ConnectionDialog d("", false, Program_dir());
    d.Kind->setCurrentIndex(app::ConnectionDialog::kVisa);
    ASSERT_EQ(d.VisaResource->count(), 3) << d.Result->text().toStdString();
    EXPECT_EQ(d.resource(), "VISA::GPIB0::5::INSTR");
    d.VisaResource->setCurrentIndex(2);
    EXPECT_EQ(d.resource(), "VISA::ASRL1::INSTR");

    d.find();
    ASSERT_TRUE(Wait_for_probe(d));
    ASSERT_EQ(d.Found->count(), 2) << d.Result->text().toStdString();
    EXPECT_EQ(d.Found->item(1)->text(), "USB0::0x03EB::0x2065::FAKE1::INSTR: \"HP54200A\"");
    EXPECT_EQ(d.resource(), "VISA::GPIB0::5::INSTR");  // the first that is the scope
    d.Found->setCurrentRow(1);
    EXPECT_EQ(d.resource(), "VISA::USB0::0x03EB::0x2065::FAKE1::INSTR");

    d.test();
    ASSERT_TRUE(Wait_for_probe(d));
    EXPECT_EQ(d.Result->text(), "The device answers: \"HP54200A\"");

    // A typed string shows the VISA fields; a VISA that cannot be loaded is told.
    d.ResourceEdit->selectAll();
    QTest::keyClicks(d.ResourceEdit, "VISA::TCPIP0::gw.lab::gpib0,5::INSTR");
    EXPECT_EQ(d.VisaResource->currentText(), "TCPIP0::gw.lab::gpib0,5::INSTR");
    EXPECT_TRUE(d.Buttons->button(QDialogButtonBox::Ok)->isEnabled());
    setenv("VISA_LIBRARY", "/nonexistent/libvisa.so.0", 1);
    d.ListButton->click();
    EXPECT_NE(d.Result->text().indexOf("no VISA library could be loaded"), -1)
        << d.Result->text().toStdString();
}

TEST_F(ConnectionTest, TestOfAMissingPortShowsTheDriversReasonAndTheRemedy) {
    app::ConnectionDialog d("PRLGX-ASRL::/dev/hp54200a-no-such-port::5::INSTR", false,
                            Program_dir());
    QTest::mouseClick(d.TestButton, Qt::LeftButton);
    ASSERT_TRUE(Wait_for_probe(d));
    const QString shown = d.Result->text();
    EXPECT_NE(shown.indexOf("/dev/hp54200a-no-such-port: No such file or directory"), -1)
        << shown.toStdString();
    EXPECT_NE(shown.indexOf("dialout"), -1) << shown.toStdString();
    EXPECT_TRUE(d.TestButton->isEnabled());
    EXPECT_EQ(std::getenv("PROLOGIX_PORT"), nullptr);
}

// The operator's way: Connection..., Find the scope (the simulated scope stands at 9), OK. The
// choice is saved, in force at once (no connection was open) and shown in the title; a second
// start reads it back. While a connection is open the dialog saves only.
TEST_F(ConnectionTest, ConnectionButtonFindsSavesAndPutsTheChoiceInForce) {
    testing_support::RecordedPlatform recorded;
    sim_harness::SimHarness sim({{"HP_SIM_ADDRESS", "9"}});
    app::TForm1 form;
    form.show();
    const auto in_dialog = [&](const std::function<void(app::ConnectionDialog&)>& act) {
        QTimer::singleShot(0, [&] {
            auto* d = dynamic_cast<app::ConnectionDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            act(*d);
        });
        form.ScrollBox->ensureWidgetVisible(form.ConnectionButton);
        QTest::mouseClick(form.ConnectionButton, Qt::LeftButton);
    };
    in_dialog([&](app::ConnectionDialog& d) {
        d.Kind->setCurrentIndex(app::ConnectionDialog::kSimulated);
        d.find();
        ASSERT_TRUE(Wait_for_probe(d));
        EXPECT_EQ(d.Address->value(), 9);
        EXPECT_EQ(d.Found->count(), 1);
        d.Buttons->button(QDialogButtonBox::Ok)->click();
    });
    EXPECT_EQ(app::Saved_resource(), "SIM::9::INSTR");
    EXPECT_EQ(scope::Bus.primary_address, 9);
    EXPECT_TRUE(form.windowTitle().endsWith(" - SIM::9::INSTR"));
    EXPECT_FALSE(scope::Gpib_library_loaded());  // found and tested, nothing left loaded

    for (const char* v : kVariables) unsetenv(v);
    EXPECT_EQ(app::Choose_connection({}, Program_dir()).resource, "SIM::9::INSTR");

    // A connection open: Test and Find are not offered; OK saves for the next start only.
    scope::Load_gpib_library();
    in_dialog([&](app::ConnectionDialog& d) {
        EXPECT_TRUE(d.Note->isVisible());
        EXPECT_FALSE(d.TestButton->isEnabled());
        d.ResourceEdit->setText("GPIB0::4::INSTR");
        d.Buttons->button(QDialogButtonBox::Ok)->click();
    });
    EXPECT_EQ(app::Saved_resource(), "GPIB0::4::INSTR");
    EXPECT_EQ(scope::Bus.primary_address, 9);
    scope::Release_gpib_library();
    in_dialog(
        [&](app::ConnectionDialog& d) { d.Buttons->button(QDialogButtonBox::Cancel)->click(); });
    EXPECT_EQ(app::Saved_resource(), "GPIB0::4::INSTR");
}

}  // namespace
