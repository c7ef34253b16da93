// The Connection dialog's fields, its resource string and its tries.
#include "app/connect/connection_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/connect/connection.h"
#include "scope/library_loader.h"
#include "scope/serial_port.h"

namespace app {
namespace {

constexpr int kHighestAddress = 30;
constexpr int kAdapterTcpPort = 1234;  // the Prologix GPIB-ETHERNET's "++" port

QString Qt_text(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

QStringList Serial_ports() {
    QStringList ports;
    for (const std::string& port : scope::Serial_ports_present())
        ports << QString::fromStdString(port);
    return ports;
}

ConnectionDialog::ConnectionDialog(const std::string& resource, bool connection_open,
                                   const std::string& program_dir, QWidget* parent)
    : QDialog(parent), program_dir_(program_dir), connection_open_(connection_open) {
    setObjectName(QStringLiteral("ConnectionDialog"));
    setWindowTitle(QStringLiteral("Connection"));
    build();
    const scope::ResourceReading r =
        scope::Parse_resource(resource.empty() ? "GPIB0::5::INSTR" : resource);
    show_resource(r.resource.value_or(scope::Resource{}));
}

ConnectionDialog::~ConnectionDialog() {
    cancel_probe();
    join();
}

void ConnectionDialog::build() {
    auto* form = new QFormLayout;
    Kind = new QComboBox;
    Kind->addItems({QStringLiteral("GPIB board (%1)").arg(scope::Board_driver_texts().name),
                    "USB-GPIB adapter (Prologix, AR488)", "LAN-GPIB gateway (VXI-11)",
                    "Simulated scope"});
    form->addRow(QStringLiteral("Interface:"), Kind);

    board_fields_ = new QWidget;
    auto* board_form = new QFormLayout(board_fields_);
    board_form->setContentsMargins(0, 0, 0, 0);
    Board = new QSpinBox;
    Board->setRange(0, 15);
    board_form->addRow(QStringLiteral("Board number:"), Board);
    form->addRow(board_fields_);

    adapter_fields_ = new QWidget;
    auto* adapter_form = new QFormLayout(adapter_fields_);
    adapter_form->setContentsMargins(0, 0, 0, 0);
    AdapterSerial = new QRadioButton(QStringLiteral("Serial port"));
    AdapterNetwork = new QRadioButton(QStringLiteral("Network"));
    AdapterSerial->setChecked(true);
    auto* how = new QHBoxLayout;
    how->addWidget(AdapterSerial);
    how->addWidget(AdapterNetwork);
    adapter_form->addRow(QStringLiteral("Adapter on:"), how);
    SerialPort = new QComboBox;
    SerialPort->setEditable(true);
    SerialPort->addItems(Serial_ports());
    adapter_form->addRow(QStringLiteral("Serial port:"), SerialPort);
    AdapterHost = new QLineEdit;
    AdapterPort = new QSpinBox;
    AdapterPort->setRange(1, 65535);
    AdapterPort->setValue(kAdapterTcpPort);
    auto* where = new QHBoxLayout;
    where->addWidget(AdapterHost, 1);
    where->addWidget(AdapterPort);
    adapter_form->addRow(QStringLiteral("Host and port:"), where);
    form->addRow(adapter_fields_);

    gateway_fields_ = new QWidget;
    auto* gateway_form = new QFormLayout(gateway_fields_);
    gateway_form->setContentsMargins(0, 0, 0, 0);
    GatewayHost = new QLineEdit;
    gateway_form->addRow(QStringLiteral("Gateway host:"), GatewayHost);
    GatewayDevice = new QLineEdit(QStringLiteral("gpib0,5"));
    gateway_form->addRow(QStringLiteral("Device name:"), GatewayDevice);
    form->addRow(gateway_fields_);

    Address = new QSpinBox;
    Address->setRange(0, kHighestAddress);
    form->addRow(QStringLiteral("Scope's address:"), Address);
    ResourceEdit = new QLineEdit;
    ResourceEdit->setObjectName(QStringLiteral("ResourceEdit"));
    form->addRow(QStringLiteral("Resource string:"), ResourceEdit);
    Problem = new QLabel;
    Problem->setWordWrap(true);
    form->addRow(Problem);

    TestButton = new QPushButton(QStringLiteral("Test"));
    FindButton = new QPushButton(QStringLiteral("Find the scope"));
    StopButton = new QPushButton(QStringLiteral("Stop"));
    StopButton->setEnabled(false);
    auto* tries = new QHBoxLayout;
    tries->addWidget(TestButton);
    tries->addWidget(FindButton);
    tries->addWidget(StopButton);
    Progress = new QProgressBar;
    Progress->setRange(0, kHighestAddress + 1);
    Progress->setVisible(false);
    Result = new QLabel;
    Result->setWordWrap(true);
    Result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Found = new QListWidget;
    Found->setVisible(false);
    Note = new QLabel(QStringLiteral(
        "The program's connection to the scope is open: Test and Find the scope are not "
        "available now, and a new choice takes effect at the next start."));
    Note->setWordWrap(true);
    Note->setVisible(connection_open_);
    TestButton->setEnabled(!connection_open_);
    FindButton->setEnabled(!connection_open_);
    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(tries);
    layout->addWidget(Progress);
    layout->addWidget(Result);
    layout->addWidget(Found);
    layout->addWidget(Note);
    layout->addWidget(Buttons);
    setMinimumWidth(520);

    connect(Kind, &QComboBox::currentIndexChanged, this, [this] { fields_changed(); });
    connect(Board, &QSpinBox::valueChanged, this, [this] { fields_changed(); });
    connect(AdapterSerial, &QRadioButton::toggled, this, [this] { fields_changed(); });
    connect(SerialPort, &QComboBox::editTextChanged, this, [this] { fields_changed(); });
    connect(AdapterHost, &QLineEdit::textChanged, this, [this] { fields_changed(); });
    connect(AdapterPort, &QSpinBox::valueChanged, this, [this] { fields_changed(); });
    connect(GatewayHost, &QLineEdit::textChanged, this, [this] { fields_changed(); });
    connect(GatewayDevice, &QLineEdit::textChanged, this, [this] { fields_changed(); });
    connect(Address, &QSpinBox::valueChanged, this, [this] { fields_changed(); });
    connect(ResourceEdit, &QLineEdit::textEdited, this, [this] { string_edited(); });
    connect(TestButton, &QPushButton::clicked, this, [this] { test(); });
    connect(FindButton, &QPushButton::clicked, this, [this] { find(); });
    connect(StopButton, &QPushButton::clicked, this, [this] { cancel_probe(); });
    connect(Found, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            Address->setValue(Found->item(row)->data(Qt::UserRole).toInt());
    });
    connect(Buttons, &QDialogButtonBox::accepted, this, [this] {
        cancel_probe();
        join();
        accept();
    });
    connect(Buttons, &QDialogButtonBox::rejected, this, [this] {
        cancel_probe();
        join();
        reject();
    });
}

void ConnectionDialog::show_fields() {
    const int kind = Kind->currentIndex();
    board_fields_->setVisible(kind == kBoard || kind == kSimulated);
    adapter_fields_->setVisible(kind == kAdapter);
    gateway_fields_->setVisible(kind == kGateway);
    SerialPort->setEnabled(AdapterSerial->isChecked());
    AdapterHost->setEnabled(!AdapterSerial->isChecked());
    AdapterPort->setEnabled(!AdapterSerial->isChecked());
}

std::optional<scope::Resource> ConnectionDialog::chosen() const {
    const scope::ResourceReading r = scope::Parse_resource(resource());
    return r.resource;
}

std::string ConnectionDialog::resource() const {
    return ResourceEdit->text().trimmed().toStdString();
}

// The fields as a resource, shown as its string.
void ConnectionDialog::fields_changed() {
    show_fields();
    if (updating_)
        return;
    scope::Resource r;
    r.address = Address->value();
    switch (Kind->currentIndex()) {
        case kAdapter:
            r.kind = scope::InterfaceKind::UsbAdapter;
            r.where = AdapterSerial->isChecked() ? SerialPort->currentText().toStdString()
                                                 : AdapterHost->text().trimmed().toStdString();
            r.port = AdapterSerial->isChecked() || AdapterPort->value() == kAdapterTcpPort
                         ? 0
                         : AdapterPort->value();
            break;
        case kGateway:
            r.kind = scope::InterfaceKind::LanGateway;
            r.where = GatewayHost->text().trimmed().toStdString();
            r.device =
                scope::Device_at_address(GatewayDevice->text().trimmed().toStdString(), r.address);
            break;
        case kSimulated:
            r.kind = scope::InterfaceKind::Simulated;
            r.board = Board->value();
            break;
        default:
            r.board = Board->value();
            break;
    }
    ResourceEdit->setText(Qt_text(scope::Resource_text(r)));
    string_edited();
}

// The string as typed: its fields shown when it parses, the refusal when it does not.
void ConnectionDialog::string_edited() {
    const scope::ResourceReading r = scope::Parse_resource(resource(), Address->value());
    Problem->setText(Qt_text(r.refusal.substr(0, r.refusal.find('\n'))));
    Buttons->button(QDialogButtonBox::Ok)->setEnabled(r.resource.has_value());
    const bool idle = !probe_running() && !connection_open_;
    TestButton->setEnabled(idle && r.resource.has_value());
    FindButton->setEnabled(idle && r.resource.has_value());
    if (r.resource && !updating_) {
        updating_ = true;
        const int cursor = ResourceEdit->cursorPosition();
        const QString text = ResourceEdit->text();
        show_resource(*r.resource);
        ResourceEdit->setText(text);
        ResourceEdit->setCursorPosition(cursor);
        updating_ = false;
    }
}

void ConnectionDialog::show_resource(const scope::Resource& r) {
    const bool was = updating_;
    updating_ = true;
    Address->setValue(r.address);
    switch (r.kind) {
        case scope::InterfaceKind::GpibBoard:
            Kind->setCurrentIndex(kBoard);
            Board->setValue(r.board);
            break;
        case scope::InterfaceKind::Simulated:
            Kind->setCurrentIndex(kSimulated);
            Board->setValue(r.board);
            break;
        case scope::InterfaceKind::UsbAdapter: {
            Kind->setCurrentIndex(kAdapter);
            const bool serial = scope::Is_serial_port_name(r.where);
            (serial ? AdapterSerial : AdapterNetwork)->setChecked(true);
            if (serial)
                SerialPort->setEditText(Qt_text(r.where));
            else
                AdapterHost->setText(Qt_text(r.where));
            AdapterPort->setValue(r.port != 0 ? r.port : kAdapterTcpPort);
            break;
        }
        case scope::InterfaceKind::LanGateway:
            Kind->setCurrentIndex(kGateway);
            GatewayHost->setText(
                Qt_text(r.where + (r.port != 0 ? ":" + std::to_string(r.port) : "")));
            GatewayDevice->setText(Qt_text(r.device));
            break;
    }
    show_fields();
    updating_ = was;
    if (!was) {
        ResourceEdit->setText(Qt_text(scope::Resource_text(r)));
        string_edited();
    }
}

void ConnectionDialog::test() {
    start(false);
}

void ConnectionDialog::find() {
    start(true);
}

void ConnectionDialog::cancel_probe() {
    cancelled_ = true;
}

void ConnectionDialog::join() {
    if (worker_.joinable())
        worker_.join();
}

void ConnectionDialog::start(bool find) {
    const auto resource = chosen();
    if (!resource || probe_running() || connection_open_)
        return;
    cancelled_ = false;
    TestButton->setEnabled(false);
    FindButton->setEnabled(false);
    StopButton->setEnabled(true);
    Progress->setVisible(true);
    Progress->setValue(0);
    Progress->setRange(0, find ? kHighestAddress + 1 : 0);  // Test: busy
    Result->setText(find ? QStringLiteral("Looking for listeners at addresses 0 to 30...")
                         : QStringLiteral("Opening the device and asking \"ID ?\"..."));
    Found->clear();
    Found->setVisible(false);
    const std::string dir = program_dir_;
    worker_ = std::thread([this, find, r = *resource, dir] {
        const auto locate = [&dir](const std::string& f) { return Driver_library(f, dir); };
        const scope::ProbeOutcome outcome =
            find ? scope::Find_scope(r, locate,
                                     [this](int address) {
                                         QMetaObject::invokeMethod(
                                             this, [this, address] { Progress->setValue(address); },
                                             Qt::QueuedConnection);
                                         return !cancelled_.load();
                                     })
                 : scope::Test_resource(r, locate);
        QMetaObject::invokeMethod(
            this, [this, find, outcome] { finished(find, outcome); }, Qt::QueuedConnection);
    });
}

void ConnectionDialog::finished(bool find, const scope::ProbeOutcome& outcome) {
    join();
    StopButton->setEnabled(false);
    Progress->setVisible(false);
    if (!find && cancelled_) {
        // The driver's call could not be cut short; its outcome no longer counts.
        Result->setText(QStringLiteral("Test stopped."));
    } else if (!outcome.ok) {
        Result->setText(Qt_text(outcome.reason));
    } else if (!find) {
        Result->setText(QStringLiteral("The device answers: ") + Qt_text(outcome.identity));
    } else {
        const QString stopped = cancelled_ ? QStringLiteral(" (stopped)") : QString();
        Result->setText(outcome.found.empty()
                            ? QStringLiteral("Nothing answered at addresses 0 to 30") + stopped +
                                  "."
                            : QStringLiteral("Found") + stopped + ":");
        for (const scope::ListenerFound& f : outcome.found) {
            auto* item = new QListWidgetItem(
                QStringLiteral("Address %1: %2")
                    .arg(f.address)
                    .arg(f.identity.empty() ? QStringLiteral("(no answer to \"ID ?\")")
                                            : Qt_text(f.identity)),
                Found);
            item->setData(Qt::UserRole, f.address);
        }
        Found->setVisible(!outcome.found.empty());
        if (outcome.scope_address >= 0)
            Address->setValue(outcome.scope_address);
    }
    string_edited();
}

FirstChoice Run_first_connection_dialog(QWidget* parent, const std::string& program_dir) {
    ConnectionDialog dialog(Saved_resource().value_or(""), false, program_dir, parent);
    if (dialog.exec() != QDialog::Accepted)
        return FirstChoice::Cancelled;
    Save_resource(dialog.resource());
    Apply_resource(dialog.resource(), program_dir);
    return FirstChoice::Chosen;
}

}  // namespace app
