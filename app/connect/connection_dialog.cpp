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
#include <QScrollArea>
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

// A field with the label under it that says why the field cannot be used.
QWidget* With_problem_label(QWidget* field, QLayout* field_layout, QLabel*& problem) {
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    if (field != nullptr)
        column->addWidget(field);
    else
        column->addLayout(field_layout);
    problem = new QLabel;
    problem->setWordWrap(true);
    problem->setVisible(false);
    column->addWidget(problem);
    return box;
}

void Show_problem(QLabel* label, const std::string& why) {
    label->setText(Qt_text(why));
    label->setVisible(!why.empty());
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
    serial_row_ = With_problem_label(SerialPort, nullptr, SerialPortProblem);
    adapter_form->addRow(QStringLiteral("Serial port:"), serial_row_);
    AdapterHost = new QLineEdit;
    AdapterHost->setPlaceholderText(QStringLiteral("host name or IPv4 address"));
    AdapterPort = new QSpinBox;
    AdapterPort->setRange(1, 65535);
    AdapterPort->setValue(kAdapterTcpPort);
    auto* where = new QHBoxLayout;
    where->addWidget(AdapterHost, 1);
    where->addWidget(AdapterPort);
    network_row_ = With_problem_label(nullptr, where, AdapterHostProblem);
    adapter_form->addRow(QStringLiteral("Host and port:"), network_row_);
    form->addRow(adapter_fields_);

    gateway_fields_ = new QWidget;
    auto* gateway_form = new QFormLayout(gateway_fields_);
    gateway_form->setContentsMargins(0, 0, 0, 0);
    GatewayHost = new QLineEdit;
    GatewayHost->setPlaceholderText(
        QStringLiteral("host name or IPv4 address, then :port if not 111"));
    gateway_form->addRow(QStringLiteral("Gateway host:"),
                         With_problem_label(GatewayHost, nullptr, GatewayHostProblem));
    GatewayDevice = new QLineEdit(QStringLiteral("gpib0,5"));
    gateway_form->addRow(QStringLiteral("Device name:"),
                         With_problem_label(GatewayDevice, nullptr, GatewayDeviceProblem));
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

    // However long a message, the fields keep their height: the messages scroll instead.
    auto* message_box = new QWidget;
    auto* messages = new QVBoxLayout(message_box);
    messages->addWidget(Problem);
    messages->addWidget(Result);
    messages->addWidget(Note);
    messages->addStretch(1);
    Messages = new QScrollArea;
    Messages->setObjectName(QStringLiteral("Messages"));
    Messages->setWidgetResizable(true);
    Messages->setFrameShape(QFrame::NoFrame);
    Messages->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Messages->setMinimumHeight(60);
    Messages->setWidget(message_box);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(tries);
    layout->addWidget(Progress);
    layout->addWidget(Messages, 1);
    layout->addWidget(Found, 1);
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
        keep_result_ = true;  // choosing among what Find found keeps its report
        const QString visa_resource = Found->item(row)->data(Qt::UserRole + 1).toString();
        if (!visa_resource.isEmpty())
            VisaResource->setEditText(visa_resource);
        else
            Address->setValue(Found->item(row)->data(Qt::UserRole).toInt());
        keep_result_ = false;
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
    // Each way to the adapter has its own form: a port to choose, or a host and TCP port.
    auto* adapter_form = static_cast<QFormLayout*>(adapter_fields_->layout());
    adapter_form->setRowVisible(serial_row_, AdapterSerial->isChecked());
    adapter_form->setRowVisible(network_row_, !AdapterSerial->isChecked());
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
    if (!updating_) {
        keep_result_ = true;  // the list's own report stays
        fields_changed();
        keep_result_ = false;
    }
}

std::optional<scope::Resource> ConnectionDialog::chosen() const {
    const scope::ResourceReading r = scope::Parse_resource(resource());
    return r.resource;
}

std::string ConnectionDialog::resource() const {
    return ResourceEdit->text().trimmed().toStdString();
}

std::optional<scope::Resource> ConnectionDialog::read_fields() {
    for (QLabel* label :
         {SerialPortProblem, AdapterHostProblem, GatewayHostProblem, GatewayDeviceProblem})
        Show_problem(label, "");
    scope::Resource r;
    r.address = Address->value();
    bool usable = true;
    switch (Kind->currentIndex()) {
        case kAdapter:
            r.kind = scope::InterfaceKind::UsbAdapter;
            if (AdapterSerial->isChecked()) {
                r.where = SerialPort->currentText().trimmed().toStdString();
                if (r.where.empty())
                    Show_problem(SerialPortProblem, "choose a port");
                else if (!scope::Is_serial_port_name(r.where))
                    Show_problem(SerialPortProblem, "\"" + r.where + "\" is not a serial port: a " +
                                                        "serial port is " +
                                                        scope::Serial_port_description());
                usable = SerialPortProblem->isHidden();
                break;
            }
            {
                const std::string host = AdapterHost->text().trimmed().toStdString();
                std::string why = scope::Read_host_and_port(host, r.where, r.port);
                if (why.empty() && scope::Is_serial_port_name(r.where))
                    why = "\"" + r.where + "\" is a serial port: choose Serial port above";
                Show_problem(AdapterHostProblem, why);
                usable = why.empty();
                // A port typed after the host takes the place of the port box's.
                const int port = r.port != 0 ? r.port : AdapterPort->value();
                r.port = port == kAdapterTcpPort ? 0 : port;
            }
            break;
        case kGateway: {
            r.kind = scope::InterfaceKind::LanGateway;
            const std::string host = GatewayHost->text().trimmed().toStdString();
            Show_problem(GatewayHostProblem, scope::Read_host_and_port(host, r.where, r.port));
            const std::string device = GatewayDevice->text().trimmed().toStdString();
            Show_problem(GatewayDeviceProblem, scope::Lan_device_problem(device));
            r.device = scope::Device_at_address(device, r.address);
            usable = GatewayHostProblem->isHidden() && GatewayDeviceProblem->isHidden();
            break;
        }
        case kSimulated:
            r.kind = scope::InterfaceKind::Simulated;
            r.board = Board->value();
            break;
        case kVisa:
        case kUsbtmc:
            // The string's own refusal speaks for these (see fields_changed).
            fields_usable_ = true;
            return scope::Parse_resource(listed_text(), r.address).resource;
        default:
            r.board = Board->value();
            break;
    }
    fields_usable_ = usable;
    if (!usable)
        return std::nullopt;
    return r;
}

// The VISA resource or USBTMC device as listed or typed, as a resource string.
std::string ConnectionDialog::listed_text() const {
    const bool visa = Kind->currentIndex() == kVisa;
    return (visa ? "VISA::" : "") +
           (visa ? VisaResource : UsbtmcDevice)->currentText().trimmed().toStdString();
}

// The fields as a resource, shown as its string. Nothing of the string flows back into the
// fields here: a field's text stays as typed.
void ConnectionDialog::fields_changed() {
    show_fields();
    if (updating_)
        return;
    if (!keep_result_)
        Result->clear();  // it spoke of the fields as they were
    if (Kind->currentIndex() == kVisa || Kind->currentIndex() == kUsbtmc) {
        // The string as listed or typed; the resource form says what it is, or why not.
        ResourceEdit->setText(Qt_text(listed_text()));
        read_fields();
        check_string(false);
        return;
    }
    const std::optional<scope::Resource> r = read_fields();
    // A field that cannot be used composes no string: its own label says why.
    ResourceEdit->setText(r ? Qt_text(scope::Resource_text(*r)) : QString());
    check_string(false);
}

// The string as typed: the fields follow it when it parses; the refusal is shown when not.
void ConnectionDialog::string_edited() {
    Result->clear();
    check_string(true);
}

void ConnectionDialog::check_string(bool fields_follow) {
    const scope::ResourceReading r = scope::Parse_resource(resource(), Address->value());
    const bool composed_nothing = !fields_follow && !fields_usable_;
    Problem->setText(composed_nothing ? QString()
                                      : Qt_text(r.refusal.substr(0, r.refusal.find('\n'))));
    Problem->setVisible(!Problem->text().isEmpty());
    const bool usable = r.resource.has_value() && (fields_follow || fields_usable_);
    Buttons->button(QDialogButtonBox::Ok)->setEnabled(usable);
    const bool idle = !probe_running() && !connection_open_;
    TestButton->setEnabled(idle && usable);
    FindButton->setEnabled(idle && usable);
    if (r.resource && fields_follow && !updating_) {
        updating_ = true;
        const int cursor = ResourceEdit->cursorPosition();
        const QString text = ResourceEdit->text();
        show_resource(*r.resource);
        ResourceEdit->setText(text);
        ResourceEdit->setCursorPosition(cursor);
        updating_ = false;
        read_fields();
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
        read_fields();
        ResourceEdit->setText(Qt_text(scope::Resource_text(r)));
        check_string(false);
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
        keep_result_ = true;  // the scope found is chosen without clearing the report
        if (!outcome.scope_resource.empty())
            VisaResource->setEditText(Qt_text(outcome.scope_resource));
        else if (outcome.scope_address >= 0)
            Address->setValue(outcome.scope_address);
        keep_result_ = false;
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
    }
    check_string(false);
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
