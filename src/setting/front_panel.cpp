#include "app/form1.h"

#include "setting/setpoint.h"

#include <QComboBox>
#include <QLineEdit>

void Form1::Combo1_Click() {
    Text1->setText(Combo1->currentText());
    if (!Text1->text().contains(QLatin1Char('V'))) {
        Text1->setText(Text1->text() + QLatin1Char('V'));
    }
    if (Text_err(Text1->text(), QLatin1Char('V'))) {
        Text1->setText(QStringLiteral("00.00V"));
        return;
    }
    SZDYZH(Text1->text());
}

void Form1::Combo2_Click() {
    Text2->setText(Combo2->currentText());
}

// The mode follows the entry's position, so it does not depend on the language.
void Form1::Combo4_Click() {
    state.tripMode = Combo4->currentIndex() == 1;
}
