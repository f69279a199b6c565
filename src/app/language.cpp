#include "app/form1.h"

#include <QComboBox>

void Form1::Combo3_Click() {
    state.englishUi = Combo3->currentText() != QStringLiteral("中文");
}
