#include "window/number_cell_delegate.h"

#include "sequence/step_table.h"
#include "setting/setpoint.h"

#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace {

bool isNumber(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
        return true;
    default:
        return false;
    }
}

QString cellText(const QVariant& value) {
    if (value.isNull()) {
        return {};
    }
    return isNumber(value) ? shortestDecimalText(value.toDouble()) : value.toString();
}

} // namespace

QWidget* NumberCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                          const QModelIndex&) const {
    auto* editor = new QLineEdit(parent);
    editor->setFrame(false);
    editor->setValidator(new QRegularExpressionValidator(stepCellPattern(), editor));
    editor_ = editor;
    return editor;
}

void NumberCellDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    static_cast<QLineEdit*>(editor)->setText(cellText(index.data(Qt::EditRole)));
}

void NumberCellDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                      const QModelIndex& index) const {
    const QString text = static_cast<QLineEdit*>(editor)->text();
    QVariant value;
    if (!text.isEmpty()) {
        bool numeric = false;
        const double number = text.toDouble(&numeric);
        // A cell that held text and was left as it was keeps its text.
        value = numeric ? QVariant(number) : QVariant(text);
    }
    if (!model->setData(index, value, Qt::EditRole)) {
        emit valueRefused(text);
    }
}

QString NumberCellDelegate::displayText(const QVariant& value, const QLocale& locale) const {
    return isNumber(value) ? cellText(value) : QStyledItemDelegate::displayText(value, locale);
}

// Every way an editor closes ends here, also those the view starts itself.
void NumberCellDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const {
    if (editor == editor_) {
        editor_ = nullptr;
    }
    QStyledItemDelegate::destroyEditor(editor, index);
}

void NumberCellDelegate::finishEditing() {
    if (editor_ == nullptr) {
        return;
    }
    QLineEdit* editor = editor_;
    emit commitData(editor);
    emit closeEditor(editor, QAbstractItemDelegate::SubmitModelCache);
}
