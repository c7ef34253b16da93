// The running display: "Run" repeats Refresh, as soon as the previous acquisition has finished
// or every N seconds, until it is pressed again, Quit is pressed, or an acquisition fails. And
// the keyboard shortcuts of the window's buttons.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <string>

class QAbstractButton;
class QDoubleSpinBox;
class QKeySequence;
class QPushButton;
class QWidget;

namespace app::examine {

// The interval field's limits, seconds; 0 is "as soon as the previous acquisition finished".
inline constexpr double kMinInterval = 0.5;
inline constexpr double kMaxInterval = 60.0;
// The interval's key in the settings file.
inline constexpr const char* kIntervalKey = "run/interval";

// The interval an entered value stands for: 0 stays 0, anything else is held to 0.5..60 s.
double Interval_of(double entered);

class RunControl final : public QObject {
  public:
    // The button and the interval field are placed on `panel` at (left, top), each width x
    // height, a gap apart. `refresh` is the Refresh handler. The settings file is
    // QSettings(organization, application).
    RunControl(QWidget* panel, int left, int top, int width, int height, int gap,
               std::function<void()> refresh, std::string organization, std::string application);

    void start();
    // Stops a running display (nothing when it is not running).
    void stop();
    bool running() const { return running_; }
    // The last run ended with a failed acquisition.
    bool failed() const { return failed_; }
    // Acquisitions since the last start.
    long acquisitions() const { return acquisitions_; }

    QPushButton* button() const { return button_; }
    QDoubleSpinBox* interval_box() const { return interval_; }

  protected:
    // Enter in the interval field sets the interval (and stays there: it does not reach Quit).
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void next();
    void save_interval();

    QPushButton* button_;
    QDoubleSpinBox* interval_;
    std::function<void()> refresh_;
    std::string organization_;
    std::string application_;
    QTimer timer_;
    QElapsedTimer since_start_;
    bool running_ = false;
    bool in_refresh_ = false;
    bool failed_ = false;
    long acquisitions_ = 0;
};

// A key for a button: pressing it clicks the button; the button's tooltip names the key.
void Add_key(QWidget* window, QAbstractButton* button, const QKeySequence& key,
             const QString& tooltip);

}  // namespace app::examine
