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
                    "Simulated scope", "VISA resource", "USBTMC adapter"});
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

    visa_fields_ = new QWidget;
    auto* visa_form = new QFormLayout(visa_fields_);
    visa_form->setContentsMargins(0, 0, 0, 0);
    VisaResource = new QComboBox;
    VisaResource->setEditable(true);
    visa_form->addRow(QStringLiteral("VISA resource:"), VisaResource);
    form->addRow(visa_fields_);

    usbtmc_fields_ = new QWidget;
    auto* usbtmc_form = new QFormLayout(usbtmc_fields_);
    usbtmc_form->setContentsMargins(0, 0, 0, 0);
    UsbtmcDevice = new QComboBox;
    UsbtmcDevice->setEditable(true);
    usbtmc_form->addRow(QStringLiteral("Adapter:"), UsbtmcDevice);
    form->addRow(usbtmc_fields_);
    ListButton = new QPushButton(QStringLiteral("List again"));
    form->addRow(ListButton);

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
    connect(VisaResource, &QComboBox::editTextChanged, this, [this] { fields_changed(); });
    connect(UsbtmcDevice, &QComboBox::editTextChanged, this, [this] { fields_changed(); });
    connect(ListButton, &QPushButton::clicked, this, [this] { list_resources(true); });
    connect(ResourceEdit, &QLineEdit::textEdited, this, [this] { string_edited(); });
    connect(TestButton, &QPushButton::clicked, this, [this] { test(); });
    connect(FindButton, &QPushButton::clicked, this, [this] { find(); });
    connect(StopButton, &QPushButton::clicked, this, [this] { cancel_probe(); });
    connect(Found, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0)
            return;
        const QString visa_resource = Found->item(row)->data(Qt::UserRole + 1).toString();
        if (!visa_resource.isEmpty())
            VisaResource->setEditText(visa_resource);
        else
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
    visa_fields_->setVisible(kind == kVisa);
    usbtmc_fields_->setVisible(kind == kUsbtmc);
    ListButton->setVisible(kind == kVisa || kind == kUsbtmc);
    if (kind == kVisa || kind == kUsbtmc)
        list_resources(false);
    SerialPort->setEnabled(AdapterSerial->isChecked());
    AdapterHost->setEnabled(!AdapterSerial->isChecked());
    AdapterPort->setEnabled(!AdapterSerial->isChecked());
}

void ConnectionDialog::list_resources(bool again) {
    const bool visa = Kind->currentIndex() == kVisa;
    bool& listed = visa ? visa_listed_ : usbtmc_listed_;
    if (listed && !again)
        return;
    listed = true;
    const std::string dir = program_dir_;
    const auto locate = [&dir](const std::string& f) { return Driver_library(f, dir); };
    const scope::ResourceList list =
        visa ? scope::List_visa_resources(locate) : scope::List_usbtmc_devices(locate);
    QComboBox* box = visa ? VisaResource : UsbtmcDevice;
    const bool was = updating_;
    updating_ = true;
    const QString typed = box->currentText();
    box->clear();
    for (const std::string& name : list.names) box->addItem(Qt_text(name));
    box->setEditText(typed.isEmpty() && box->count() > 0 ? box->itemText(0) : typed);
    updating_ = was;
    if (!list.ok)
        Result->setText(Qt_text(list.reason));
    else if (list.names.empty())
        Result->setText(visa ? QStringLiteral("The VISA lists no instruments.")
                             : QStringLiteral("No USBTMC adapter is present."));
    else
        Result->clear();
    if (!updating_)
        fields_changed();
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
        case kVisa:
        case kUsbtmc: {
            // The string as listed or typed; the resource form says what it is.
            const std::string text = (Kind->currentIndex() == kVisa ? "VISA::" : "") +
                                     (Kind->currentIndex() == kVisa ? VisaResource : UsbtmcDevice)
                                         ->currentText()
                                         .trimmed()
                                         .toStdString();
            ResourceEdit->setText(Qt_text(text));
            string_edited();
            return;
        }
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
        case scope::InterfaceKind::Visa:
            Kind->setCurrentIndex(kVisa);
            VisaResource->setEditText(Qt_text(r.where));
            break;
        case scope::InterfaceKind::Usbtmc:
            Kind->setCurrentIndex(kUsbtmc);
            UsbtmcDevice->setEditText(Qt_text(scope::Resource_text(r)));
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
    const bool through_visa = resource->kind == scope::InterfaceKind::Visa;
    // Test, and Find through VISA, whose list is not known yet: busy.
    Progress->setRange(0, find && !through_visa ? kHighestAddress + 1 : 0);
    Result->setText(!find ? QStringLiteral("Opening the device and asking \"ID ?\"...")
                    : through_visa
                        ? QStringLiteral("Asking each VISA resource \"ID ?\"...")
                        : QStringLiteral("Looking for listeners at addresses 0 to 30..."));
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
        const bool through_visa = Kind->currentIndex() == kVisa;
        Result->setText(!outcome.found.empty() ? QStringLiteral("Found") + stopped + ":"
                        : through_visa
                            ? QStringLiteral("No VISA resource answered \"ID ?\"") + stopped + "."
                            : QStringLiteral("Nothing answered at addresses 0 to 30") + stopped +
                                  ".");
        for (const scope::ListenerFound& f : outcome.found) {
            const QString identity = f.identity.empty() ? QStringLiteral("(no answer to \"ID ?\")")
                                                        : Qt_text(f.identity);
            auto* item = new QListWidgetItem(
                f.resource.empty() ? QStringLiteral("Address %1: %2").arg(f.address).arg(identity)
                                   : Qt_text(f.resource) + ": " + identity,
                Found);
            item->setData(Qt::UserRole, f.address);
            item->setData(Qt::UserRole + 1, Qt_text(f.resource));
        }
        Found->setVisible(!outcome.found.empty());
        if (!outcome.scope_resource.empty())
            VisaResource->setEditText(Qt_text(outcome.scope_resource));
        else if (outcome.scope_address >= 0)
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
