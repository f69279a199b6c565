#include "app/form1.h"

#include "display/log_box.h"
#include "display/log_text.h"
#include "platform/clock.h"
#include "setting/setpoint.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

void Form1::Combo1_Click() {
    Text1->setText(Combo1->currentText());
    if (!Text1->text().contains(QLatin1Char('V'))) {
        Text1->setText(Text1->text() + QLatin1Char('V'));
    }
    acceptVoltageEntryQuietly();
}

void Form1::Slider1_Change() {
    Text1->setText(shortestDecimalText(Slider1->value() / 100.0) + QLatin1Char('V'));
    acceptVoltageEntryQuietly();
}

// A text from a list or the slider that is not acceptable is replaced without
// a message; a voltage above 31 V is refused with one.
void Form1::acceptVoltageEntryQuietly() {
    if (Text_err(Text1->text(), QLatin1Char('V'))) {
        Text1->setText(QStringLiteral("00.00V"));
        return;
    }
    SZDYZH(Text1->text());
}

void Form1::Combo2_Click() {
    Text2->setText(Combo2->currentText());
}

void Form1::Slider2_Change() {
    Text2->setText(shortestDecimalText(Slider2->value() / 1000.0) + QLatin1Char('A'));
}

void Form1::Text1_Change() {
    state.voltageEditIdle = 0;
}

void Form1::Text2_Change() {
    state.currentEditIdle = 0;
}

void Form1::Command1_Click() {
    if (state.outputOn) {
        GBDY_CX();
        setButtonGreen(Command1, false);
        return;
    }
    if (!state.linkUp) {
        return;
    }
    // The output comes on at what the boxes show, not at a setpoint that a
    // fresh entry is still about to replace.
    if (!takeVoltageEntry() || !takeCurrentEntry()) {
        return;
    }
    state.chartIndex = 0;
    overCurrentTripped_ = false;
    state.outputOn = true;
    setButtonGreen(Command1, true);
    showButtonCaptions();
    writeLogHeader();
}

// The mode follows the entry's position, so it does not depend on the language.
void Form1::Combo4_Click() {
    state.tripMode = Combo4->currentIndex() == 1;
}

void Form1::writeLogHeader() {
    const QDateTime now = platform_.clock->now();
    Text3->setText(logHeader());
    Text3->appendText(logStartLine(now, timeOfDayText(now.time())));
    samples_.begin(now);
    startJournal();
}

// The palette is what the window's own style shows; native styles draw push
// buttons themselves and ignore it, but every style honours a style sheet.
void Form1::setButtonGreen(QPushButton* button, bool green) {
    if (!green) {
        button->setStyleSheet(QString());
        button->setPalette(QPalette());
        return;
    }
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, QColor(0, 255, 0));
    button->setPalette(palette);
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: rgb(0, 255, 0); "
                                         "border: 1px solid rgb(0, 110, 0); }"));
}
