// The running display's timer and its two controls, and the window's shortcut keys.
#include "app/examine/run_control.h"

#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <algorithm>
#include <cmath>

#include "platform/platform.h"

namespace app::examine {

double Interval_of(double entered) {
    if (!(entered > 0.0))
        return 0.0;
    return std::clamp(entered, kMinInterval, kMaxInterval);
}

RunControl::RunControl(QWidget* panel, int left, int top, int width, int height, int gap,
                       std::function<void()> refresh, std::string organization,
                       std::string application)
    : QObject(panel),
      refresh_(std::move(refresh)),
      organization_(std::move(organization)),
      application_(std::move(application)) {
    button_ = new QPushButton(QStringLiteral("Run"), panel);
    button_->setObjectName(QStringLiteral("RunButton"));
    button_->setCheckable(true);
    button_->setAutoDefault(true);
    button_->setGeometry(left, top, width, height);
    button_->setToolTip(QStringLiteral("Run: repeat Refresh until pressed again (Ctrl+R)"));

    interval_ = new QDoubleSpinBox(panel);
    interval_->setObjectName(QStringLiteral("RunInterval"));
    interval_->setRange(0.0, kMaxInterval);
    interval_->setDecimals(1);
    interval_->setSingleStep(kMinInterval);
    interval_->setSuffix(QStringLiteral(" s"));
    interval_->setSpecialValueText(QStringLiteral("no wait"));
    interval_->setToolTip(QStringLiteral(
        "Seconds from one Run acquisition to the next (0.5 to 60); \"no wait\": at once"));
    interval_->setGeometry(left + width + gap, top, width, height);
    const QSettings settings(QString::fromStdString(organization_),
                             QString::fromStdString(application_));
    bool ok = false;
    const double saved = settings.value(QString::fromLatin1(kIntervalKey)).toDouble(&ok);
    if (ok)
        interval_->setValue(Interval_of(saved));
    // Only the operator's own change is written to the settings.
    connect(interval_, &QDoubleSpinBox::editingFinished, this, [this] { save_interval(); });
    connect(interval_, &QDoubleSpinBox::valueChanged, this, [this](double value) {
        if (interval_->hasFocus() || interval_->underMouse()) {
            if (value != Interval_of(value))
                interval_->setValue(Interval_of(value));
        }
    });

    interval_->installEventFilter(this);

    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { next(); });
    connect(button_, &QPushButton::clicked, this, [this](bool checked) {
        if (checked)
            start();
        else
            stop();
    });
}

bool RunControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched != interval_ || event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    interval_->interpretText();
    save_interval();
    return true;
}

void RunControl::save_interval() {
    const double value = Interval_of(interval_->value());
    if (value != interval_->value())
        interval_->setValue(value);
    QSettings settings(QString::fromStdString(organization_), QString::fromStdString(application_));
    const QString key = QString::fromLatin1(kIntervalKey);
    bool ok = false;
    const double saved = settings.value(key).toDouble(&ok);
    if (ok ? saved == value : value == 0.0)
        return;  // unchanged: the settings file stays as it was
    settings.setValue(key, value);
}

void RunControl::start() {
    button_->setChecked(true);
    if (running_)
        return;
    running_ = true;
    failed_ = false;
    acquisitions_ = 0;
    const double interval = Interval_of(interval_->value());
    const std::string every =
        interval > 0.0 ? "every " + interval_->textFromValue(interval).toStdString() + " s"
                       : std::string("after each acquisition");
    platform::send_message("Run: Refresh " + every);
    timer_.start(0);
}

void RunControl::stop() {
    button_->setChecked(false);
    if (!running_)
        return;
    running_ = false;
    timer_.stop();
    platform::send_message("Run stopped after " + std::to_string(acquisitions_) +
                           (acquisitions_ == 1 ? " acquisition" : " acquisitions"));
}

void RunControl::next() {
    if (!running_ || in_refresh_)
        return;
    since_start_.start();
    in_refresh_ = true;
    try {
        refresh_();
    } catch (const platform::ProgramStopped&) {
        // The program's platform ends the process on a fatal error; a test's throws instead,
        // and the running display ends here as it would with the process.
        in_refresh_ = false;
        stop();
        failed_ = true;
        return;
    }
    in_refresh_ = false;
    ++acquisitions_;
    if (!running_)
        return;
    const double interval = Interval_of(interval_->value());
    const auto wait_ms =
        static_cast<long long>(std::llround(interval * 1000.0)) - since_start_.elapsed();
    timer_.start(static_cast<int>(std::max<long long>(0, wait_ms)));
}

void Add_key(QWidget* window, QAbstractButton* button, const QKeySequence& key,
             const QString& tooltip) {
    auto* shortcut = new QShortcut(key, window);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, button, [button] {
        if (button->isEnabled())
            button->click();
    });
    button->setToolTip(tooltip + QStringLiteral(" (") + key.toString(QKeySequence::NativeText) +
                       QStringLiteral(")"));
}

}  // namespace app::examine
