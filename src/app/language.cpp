#include "app/form1.h"

#include "app/version.h"
#include "sequence/step_grid.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

void Form1::Combo3_Click() {
    state.englishUi = Combo3->currentText() != QStringLiteral("中文");
}

// Every switchable text, set on each display tick in the chosen language.
void Form1::applyLanguageTexts() {
    const bool en = state.englishUi;
    const auto pick = [en](const char* chinese, const char* english) {
        return en ? QString::fromUtf8(english) : QString::fromUtf8(chinese);
    };
    Frame1->setTitle(pick("输出", "OUT"));
    Frame2->setTitle(pick("设置", "SET"));
    Label6->setText(pick("过流保护", "over current"));
    statusPanels[0]->setText(
        state.linkUp ? pick("通讯状态:连接成功 ", "communication:connection is successful ")
                     : pick("通讯状态:等待... ", "communication:wait..."));
    statusPanels[1]->setText(remoteClientsText(en));
    statusPanels[2]->setText(versionText(en));
    // The items are re-labelled in place: an open list stays open and the
    // chosen mode stays chosen.
    const int selected = Combo4->currentIndex();
    Combo4->setItemText(0, pick("恒流输出", "Steady Output"));
    Combo4->setItemText(1, pick("过流关断", "trip out"));
    Combo4->setCurrentIndex(selected);
    Combo4_Click();
    Label7->setText(pick("运行次数", "Run Count"));
    DataGrid1->setEnglish(en);
    showButtonCaptions();
}

// The output and run buttons name what a press would do, in the chosen
// language.
void Form1::showButtonCaptions() {
    const bool en = state.englishUi;
    Command1->setText(state.outputOn ? (en ? QStringLiteral("OFF") : QStringLiteral("关"))
                                     : (en ? QStringLiteral("ON") : QStringLiteral("开")));
    Command4->setText(state.outputOn && state.runActive
                          ? (en ? QStringLiteral("STOP") : QStringLiteral("停止"))
                          : (en ? QStringLiteral("RUN") : QStringLiteral("开始")));
}

QString Form1::versionText(bool english) {
    return (english ? QStringLiteral("Version: ") : QStringLiteral("版本号：")) +
           QLatin1String(kProgramVersion);
}
