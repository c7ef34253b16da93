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
        {"lowest_address", nullptr, nullptr, nullptr, "0", app::ChoiceSource::CommandLine,
         "GPIB0::0::INSTR"},
        {"highest_address", nullptr, nullptr, nullptr, "30", app::ChoiceSource::CommandLine,
         "GPIB0::30::INSTR"},
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

// Each field is read on its own: what is typed into one never moves into another, and a field
// that cannot be used says why under itself, composes no string and keeps OK disabled.
TEST_F(ConnectionTest, FieldsAreReadOnTheirOwnAndExplainWhatTheyCannotUse) {
    using D = app::ConnectionDialog;
    struct Case {
        const char* name;
        int kind;
        bool serial;           // the adapter's Serial port choice
        QLineEdit* D::*field;  // typed into, key by key
        const char* typed;
        QLabel* D::*label;  // the label that must speak, nullptr: none
        const char* why;
        const char* resource;  // the string composed ("" when none)
    };
    // clang-format off
    const Case cases[] = {
        {"gateway host and port", D::kGateway, false, &D::GatewayHost, "127.0.0.1:35393", nullptr, "", "TCPIP0::127.0.0.1:35393::gpib0,5::INSTR"},
        {"gateway port missing after the colon", D::kGateway, false, &D::GatewayHost, "127.0.0.1:", &D::GatewayHostProblem, "give the port after \":\"", ""},
        {"gateway port out of range", D::kGateway, false, &D::GatewayHost, "gw.lab:99999", &D::GatewayHostProblem, "\"99999\" is not a TCP port", ""},
        {"gateway host with a blank", D::kGateway, false, &D::GatewayHost, "gw lab", &D::GatewayHostProblem, "\"gw lab\" is not a host name", ""},
        {"device name with a blank", D::kGateway, false, &D::GatewayDevice, "gpib0, 5", &D::GatewayDeviceProblem, "\"gpib0, 5\" is not a LAN device name", ""},
        {"device name of a LAN instrument", D::kGateway, false, &D::GatewayDevice, "inst0", nullptr, "", "TCPIP0::gw.lab::inst0::INSTR"},
        {"serial adapter without a port", D::kAdapter, true, nullptr, "", &D::SerialPortProblem, "choose a port", ""},
        {"network adapter with a port after the host", D::kAdapter, false, &D::AdapterHost, "10.0.0.7:2000", nullptr, "", "PRLGX-TCPIP::10.0.0.7::2000::5::INSTR"},
        {"network adapter without a host", D::kAdapter, false, &D::AdapterHost, "", &D::AdapterHostProblem, "give the host name", ""},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        D d("TCPIP0::gw.lab::gpib0,5::INSTR", false, Program_dir());
        d.Kind->setCurrentIndex(c.kind);
        d.SerialPort->clear();
        d.SerialPort->setEditText("");
        (c.serial ? d.AdapterSerial : d.AdapterNetwork)->setChecked(true);
        if (c.field != nullptr) {
            (d.*c.field)->clear();
            QTest::keyClicks(d.*c.field, c.typed);
        }
        EXPECT_EQ(d.resource(), c.resource);
        EXPECT_EQ(d.Buttons->button(QDialogButtonBox::Ok)->isEnabled(), *c.resource != '\0');
        EXPECT_EQ(d.TestButton->isEnabled(), *c.resource != '\0');
        if (c.kind == D::kGateway) {
            // Nothing of the host field spills into the device field, nor back.
            EXPECT_EQ(d.GatewayHost->text(), c.field == &D::GatewayHost ? c.typed : "gw.lab");
            EXPECT_EQ(d.GatewayDevice->text(), c.field == &D::GatewayDevice ? c.typed : "gpib0,5");
        } else {
            // The adapter's two ways each show their own form.
            EXPECT_EQ(d.SerialPort->isVisibleTo(&d), c.serial);
            EXPECT_EQ(d.AdapterHost->isVisibleTo(&d), !c.serial);
        }
        for (QLabel* D::*label : {&D::SerialPortProblem, &D::AdapterHostProblem,
                                  &D::GatewayHostProblem, &D::GatewayDeviceProblem}) {
            const QString shown = (d.*label)->isVisibleTo(&d) ? (d.*label)->text() : QString();
            if (label == c.label)
                EXPECT_TRUE(shown.startsWith(c.why)) << shown.toStdString();
            else
                EXPECT_EQ(shown, "");
        }
        EXPECT_EQ(d.Problem->text(), "");  // the string's own refusal does not speak for a field
    }
}

// A long message scrolls below the fields, which keep their height; an edit clears it.
TEST_F(ConnectionTest, MessagesScrollBelowTheFieldsAndAnEditClearsThem) {
    app::ConnectionDialog d("TCPIP0::gw.lab::gpib0,5::INSTR", false, Program_dir());
    d.resize(520, 380);
    d.show();
    QString essay;
    for (int i = 0; i < 40; ++i) essay += "connect: Connection refused. Is the gateway on? ";
    d.Result->setText(essay);
    QApplication::processEvents();
    EXPECT_TRUE(d.Messages->widget()->isAncestorOf(d.Result));
    EXPECT_TRUE(d.Result->wordWrap());
    for (QWidget* field : std::initializer_list<QWidget*>{d.GatewayHost, d.GatewayDevice, d.Address,
                                                          d.ResourceEdit}) {
        EXPECT_GE(field->height(), field->sizeHint().height()) << field->objectName().toStdString();
    }
    QTest::keyClicks(d.GatewayDevice, "1");
    EXPECT_EQ(d.Result->text(), "");
    d.Result->setText(essay);
    d.ResourceEdit->selectAll();
    QTest::keyClicks(d.ResourceEdit, "GPIB0::5::INSTR");
    EXPECT_EQ(d.Result->text(), "");
}

// Test against a scope that never answers "ID ?": the simulator's read time-out is reported as
// the failure, never as a device answering with an empty identity.
TEST_F(ConnectionTest, TestOfAScopeThatDoesNotAnswerReportsTheFailure) {
    struct Case {
        const char* name;
        const char* variable;
        const char* value;
    };
    const Case cases[] = {
        {"the answer's read times out", "HP_SIM_TIMEOUT_READ", "1"},
        {"the query's write times out", "HP_SIM_TIMEOUT_WRITE", "ID ?@1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim_harness::SimHarness sim({{c.variable, c.value}});
        app::ConnectionDialog d("SIM::5::INSTR", false, Program_dir());
        QTest::mouseClick(d.TestButton, Qt::LeftButton);
        ASSERT_TRUE(Wait_for_probe(d));
        const QString shown = d.Result->text();
        EXPECT_EQ(shown.indexOf("The device answers"), -1) << shown.toStdString();
        EXPECT_NE(shown.indexOf("The device does not answer \"ID ?\""), -1) << shown.toStdString();
        EXPECT_NE(shown.indexOf("EABO"), -1) << shown.toStdString();
    }
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
