// The Connection dialog: the kind of interface and its fields, the scope's address, the
// resulting resource string (editable), Test, Find the scope, and OK / Cancel. OK saves the
// choice; Cancel changes nothing. Test and Find run on a thread of their own so that the window
// stays responsive, show their progress and can be cancelled.
#pragma once

#include <QDialog>
#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "scope/probe.h"

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSpinBox;
class QWidget;

namespace app {

class ConnectionDialog final : public QDialog {
  public:
    // `resource` fills the fields (the default's when empty); with `connection_open` Test and
    // Find are not offered and the dialog says that a choice takes effect at the next start.
    ConnectionDialog(const std::string& resource, bool connection_open,
                     const std::string& program_dir, QWidget* parent = nullptr);
    ~ConnectionDialog() override;

    // The resource string shown, as accepted by OK.
    std::string resource() const;
    void test();
    void find();
    void cancel_probe();
    bool probe_running() const { return worker_.joinable(); }

    // Item indexes of Kind, in this order.
    enum KindItem { kBoard, kAdapter, kGateway, kSimulated, kVisa, kUsbtmc };
    QComboBox* Kind = nullptr;
    QSpinBox* Board = nullptr;
    QRadioButton* AdapterSerial = nullptr;
    QRadioButton* AdapterNetwork = nullptr;
    QComboBox* SerialPort = nullptr;
    QLineEdit* AdapterHost = nullptr;
    QSpinBox* AdapterPort = nullptr;
    QLineEdit* GatewayHost = nullptr;
    QLineEdit* GatewayDevice = nullptr;
    QComboBox* VisaResource = nullptr;  // what VISA lists, or typed
    QComboBox* UsbtmcDevice = nullptr;  // the USBTMC adapters present, or typed
    QPushButton* ListButton = nullptr;  // lists them again
    QSpinBox* Address = nullptr;
    // Under each typed field: why it cannot be used, hidden while it can.
    QLabel* SerialPortProblem = nullptr;
    QLabel* AdapterHostProblem = nullptr;
    QLabel* GatewayHostProblem = nullptr;
    QLabel* GatewayDeviceProblem = nullptr;
    QLineEdit* ResourceEdit = nullptr;
    // Below the fields, in a scrolling area of its own: the resource string's refusal, the
    // outcome of Test or Find, what Find found and the note on an open connection.
    QScrollArea* Messages = nullptr;
    QLabel* Problem = nullptr;
    QLabel* Note = nullptr;
    QPushButton* TestButton = nullptr;
    QPushButton* FindButton = nullptr;
    QPushButton* StopButton = nullptr;
    QProgressBar* Progress = nullptr;
    QLabel* Result = nullptr;
    QListWidget* Found = nullptr;
    QDialogButtonBox* Buttons = nullptr;

  private:
    std::string program_dir_;
    bool connection_open_;
    bool updating_ = false;
    bool fields_usable_ = true;
    bool keep_result_ = false;
    std::thread worker_;
    std::atomic<bool> cancelled_{false};
    QWidget* board_fields_ = nullptr;
    QWidget* adapter_fields_ = nullptr;
    QWidget* gateway_fields_ = nullptr;
    QWidget* serial_row_ = nullptr;
    QWidget* network_row_ = nullptr;
    QWidget* visa_fields_ = nullptr;
    QWidget* usbtmc_fields_ = nullptr;
    bool visa_listed_ = false;
    bool usbtmc_listed_ = false;

    void build();
    void show_fields();
    // Fills the drop-down of the kind shown with what its driver library lists (once, or again
    // with `again`); a failure to list is shown in Result.
    void list_resources(bool again);
    void fields_changed();
    // The fields as a resource; empty when a field cannot be used (its label says why).
    std::string listed_text() const;
    std::optional<scope::Resource> read_fields();
    void string_edited();
    // `fields_follow`: the string was typed, and the fields take what it says.
    void check_string(bool fields_follow);
    void show_resource(const scope::Resource& resource);
    std::optional<scope::Resource> chosen() const;
    void start(bool find);
    void finished(bool find, const scope::ProbeOutcome& outcome);
    void join();
};

// The serial ports present (/dev/ttyUSB* and /dev/ttyACM* on Linux, COM ports on Windows).
QStringList Serial_ports();

enum class FirstChoice { Chosen, Cancelled };
// The dialog before the window's first connection (the desktop entry's first start, or a saved
// choice that no longer works): OK saves the choice and puts it in force; Cancel leaves things
// as they are.
FirstChoice Run_first_connection_dialog(QWidget* parent, const std::string& program_dir);

}  // namespace app
