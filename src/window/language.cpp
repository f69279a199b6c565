#include "window/main_window.h"

#include "app/version.h"
#include "window/diagnostic_pane.h"
#include "window/step_grid.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

void MainWindow::languageChosen() {
    session_.setEnglish(languageList->currentText() != QStringLiteral("中文"));
}

void MainWindow::clearDiagnostics() {
    diagnosticPane->clear();
}

void MainWindow::setRemoteClients(int count) {
    remoteClients_ = count;
    statusPanels[1]->setText(remoteClientsText(session_.state.englishUi));
}

QString MainWindow::remoteClientsText(bool english) const {
    if (remoteClients_ == 0) {
        return QStringLiteral("Velkor");
    }
    return (english ? QStringLiteral("REMOTE %1") : QStringLiteral("远程 %1")).arg(remoteClients_);
}

// Every switchable text, set on each display tick in the chosen language.
void MainWindow::applyLanguageTexts() {
    const bool en = session_.state.englishUi;
    const auto pick = [en](const char* chinese, const char* english) {
        return en ? QString::fromUtf8(english) : QString::fromUtf8(chinese);
    };
    readoutGroup->setTitle(pick("输出", "OUT"));
    settingsGroup->setTitle(pick("设置", "SET"));
    overCurrentModeCaption->setText(pick("过流保护", "over current"));
    // The design's link text, then the port in use and its device path.
    statusPanels[0]->setText(
        (session_.state.linkUp
             ? pick("通讯状态:连接成功 ", "communication:connection is successful ")
             : pick("通讯状态:等待... ", "communication:wait...")) +
        QLatin1Char(' ') + session_.portInUseText(en));
    statusPanels[1]->setText(remoteClientsText(en));
    showRunProgress();
    // The items are re-labelled in place: an open list stays open and the
    // chosen mode stays chosen.
    const int selected = overCurrentModeList->currentIndex();
    overCurrentModeList->setItemText(0, pick("恒流输出", "Steady Output"));
    overCurrentModeList->setItemText(1, pick("过流关断", "trip out"));
    overCurrentModeList->setCurrentIndex(selected);
    runCountCaption->setText(pick("运行次数", "Run Count"));
    stepGrid->setEnglish(en);
    showButtonCaptions();
}

// The output and run buttons name what a press would do, in the chosen
// language.
void MainWindow::showButtonCaptions() {
    const bool en = session_.state.englishUi;
    outputButton->setText(session_.outputOn() ? (en ? QStringLiteral("OFF") : QStringLiteral("关"))
                                              : (en ? QStringLiteral("ON") : QStringLiteral("开")));
    runButton->setText(session_.running() ? (en ? QStringLiteral("STOP") : QStringLiteral("停止"))
                                          : (en ? QStringLiteral("RUN") : QStringLiteral("开始")));
}

QString MainWindow::versionText(bool english) {
    return (english ? QStringLiteral("Version: ") : QStringLiteral("版本号：")) +
           QLatin1String(kProgramVersion);
}
