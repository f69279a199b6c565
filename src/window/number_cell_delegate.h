#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

class QLineEdit;

// Cells of the step table are edited as text that must read as a decimal
// number (or be empty), so what the operator types is stored as typed: a
// spin box would round 0.123 A to its own decimals. Numbers are shown in
// their shortest form, "." as the point, whatever the locale.
class NumberCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    QString displayText(const QVariant& value, const QLocale& locale) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;

    // Commits and closes the editor that is open, if any.
    void finishEditing();

signals:
    // The model refused a value the operator entered.
    void valueRefused(const QString& text) const;

private:
    mutable QPointer<QLineEdit> editor_;
};
