#pragma once

#include "sequence/step_table.h"

#include <QAbstractProxyModel>
#include <QColor>

inline const QColor kMarkedStepColour{255, 226, 110};

// The step table as the grid shows it: the table's rows and below them one
// empty row for a new step. A value entered into the empty row appends a row
// to the table, and a fresh empty row appears below it. A locked model
// refuses every edit. Only the key and the three step columns are shown:
// whatever else a table holds stays out of the operator's way. The headings
// are the table's column names, or English ones in the English window.
class StepRowsModel : public QAbstractProxyModel {
    Q_OBJECT
public:
    static constexpr int kShownColumns = kHoldColumn + 1;

    using QAbstractProxyModel::QAbstractProxyModel;

    void setSourceModel(QAbstractItemModel* source) override;
    void setLocked(bool locked);
    void setEnglish(bool english);
    bool isNewRow(int row) const;
    // The row of the step a run has in force has a background of its own;
    // -1 marks none.
    void setMarkedRow(int row);
    int markedRow() const { return markedRow_; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QModelIndex buddy(const QModelIndex& index) const override;
    void revert() override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    int sourceRows() const;
    void sourceRowsAboutToBeInserted(int first, int last);
    void sourceRowsInserted();

    bool locked_ = false;
    bool english_ = false;
    int markedRow_ = -1;
    // Set while the source appends rows: they are announced below the new-step
    // row, so the new-step row itself becomes the first appended row and an
    // editor or cursor on it stays on the step just begun.
    int appendedFrom_ = -1;
};
