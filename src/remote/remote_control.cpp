#include "app/main_window.h"

#include "platform/dialogs.h"
#include "setting/setpoint.h"
#include "setting/setpoint_quantity.h"

#include <QLabel>
#include <QLineEdit>

namespace {

QString supplySilent() {
    return QStringLiteral("电源没有应答。\nThe supply does not answer.");
}

QString runLocksFrontPanel() {
    return QStringLiteral("序列运行中，设置不可更改。\nA run is going; the settings are locked.");
}

} // namespace

void MainWindow::refuse(const QString& text, const QString& title) {
    if (remoteRefusal_ != nullptr) {
        if (remoteRefusal_->isEmpty()) {
            *remoteRefusal_ = text;
        }
        return;
    }
    platform_.dialogs->message(text, title);
}

QString MainWindow::refusalOf(const std::function<void()>& operation) {
    QString refusal;
    remoteRefusal_ = &refusal;
    operation();
    remoteRefusal_ = nullptr;
    return refusal;
}

// The value goes into the entry box as if typed and is taken at once, with
// the checks of a typed entry; the box and the slider show it.
QString MainWindow::remoteSetpoint(const SetpointQuantity& quantity, qint16 setpoint) {
    if (state.runActive) {
        return runLocksFrontPanel();
    }
    const SetpointSide side =
        quantity.unit == kVoltageQuantity.unit ? voltageSide() : currentSide();
    side.entry->setText(shortestDecimalText(setpoint / quantity.frameUnitsPerUnit) + quantity.unit);
    return refusalOf([&] { takeEntry(quantity, side); });
}

QString MainWindow::remoteOutput(bool on) {
    if (on == state.outputOn) {
        return {};
    }
    if (!on) {
        if (state.runActive) {
            runButtonClicked();
        } else {
            outputButtonClicked();
        }
        return {};
    }
    if (!state.linkUp) {
        return supplySilent();
    }
    return refusalOf([this] { outputButtonClicked(); });
}

QString MainWindow::remoteRun(bool run) {
    if (run == state.runActive) {
        return {};
    }
    if (run && !state.linkUp) {
        return supplySilent();
    }
    return refusalOf([this] { runButtonClicked(); });
}

void MainWindow::setRemoteClients(int count) {
    remoteClients_ = count;
    statusPanels[1]->setText(remoteClientsText(state.englishUi));
}

QString MainWindow::remoteClientsText(bool english) const {
    if (remoteClients_ == 0) {
        return QStringLiteral("Velkor");
    }
    return (english ? QStringLiteral("REMOTE %1") : QStringLiteral("远程 %1")).arg(remoteClients_);
}
