#include "app/main_window.h"

#include "app/version.h"
#include "sequence/step_grid.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

void MainWindow::languageChosen() {
    state.englishUi = languageList->currentText() != QStringLiteral("中文");
}

// Every switchable text, set on each display tick in the chosen language.
void MainWindow::applyLanguageTexts() {
    const bool en = state.englishUi;
    const auto pick = [en](const char* chinese, const char* english) {
        return en ? QString::fromUtf8(english) : QString::fromUtf8(chinese);
    };
    readoutGroup->setTitle(pick("输出", "OUT"));
    settingsGroup->setTitle(pick("设置", "SET"));
    overCurrentModeCaption->setText(pick("过流保护", "over current"));
    statusPanels[0]->setText(
        state.linkUp ? pick("通讯状态:连接成功 ", "communication:connection is successful ")
                     : pick("通讯状态:等待... ", "communication:wait..."));
    statusPanels[1]->setText(remoteClientsText(en));
    statusPanels[2]->setText(versionText(en));
    // The items are re-labelled in place: an open list stays open and the
    // chosen mode stays chosen.
    const int selected = overCurrentModeList->currentIndex();
    overCurrentModeList->setItemText(0, pick("恒流输出", "Steady Output"));
    overCurrentModeList->setItemText(1, pick("过流关断", "trip out"));
    overCurrentModeList->setCurrentIndex(selected);
    overCurrentModeChosen();
    runCountCaption->setText(pick("运行次数", "Run Count"));
    stepGrid->setEnglish(en);
    showButtonCaptions();
}

// The output and run buttons name what a press would do, in the chosen
// language.
void MainWindow::showButtonCaptions() {
    const bool en = state.englishUi;
    outputButton->setText(state.outputOn ? (en ? QStringLiteral("OFF") : QStringLiteral("关"))
                                         : (en ? QStringLiteral("ON") : QStringLiteral("开")));
    runButton->setText(state.outputOn && state.runActive
                           ? (en ? QStringLiteral("STOP") : QStringLiteral("停止"))
                           : (en ? QStringLiteral("RUN") : QStringLiteral("开始")));
}

QString MainWindow::versionText(bool english) {
    return (english ? QStringLiteral("Version: ") : QStringLiteral("版本号：")) +
           QLatin1String(kProgramVersion);
}
