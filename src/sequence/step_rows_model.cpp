#include "sequence/step_rows_model.h"

#include <array>
#include <utility>

void StepRowsModel::setSourceModel(QAbstractItemModel* source) {
    beginResetModel();
    if (sourceModel() != nullptr) {
        disconnect(sourceModel(), nullptr, this, nullptr);
    }
    QAbstractProxyModel::setSourceModel(source);
    if (source != nullptr) {
        connect(source, &QAbstractItemModel::modelAboutToBeReset, this,
                &StepRowsModel::beginResetModel);
        connect(source, &QAbstractItemModel::modelReset, this, &StepRowsModel::endResetModel);
        connect(source, &QAbstractItemModel::layoutAboutToBeChanged, this,
                [this] { emit layoutAboutToBeChanged(); });
        connect(source, &QAbstractItemModel::layoutChanged, this, [this] { emit layoutChanged(); });
        connect(source, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex& topLeft, const QModelIndex& bottomRight,
                       const QList<int>& roles) {
                    if (topLeft.column() >= columnCount()) {
                        return;
                    }
                    const int right = qMin(bottomRight.column(), columnCount() - 1);
                    emit dataChanged(mapFromSource(topLeft),
                                     mapFromSource(bottomRight.siblingAtColumn(right)), roles);
                });
        connect(source, &QAbstractItemModel::headerDataChanged, this,
                &StepRowsModel::headerDataChanged);
        connect(source, &QAbstractItemModel::rowsAboutToBeInserted, this,
                [this](const QModelIndex&, int first, int last) {
                    sourceRowsAboutToBeInserted(first, last);
                });
        connect(source, &QAbstractItemModel::rowsInserted, this,
                &StepRowsModel::sourceRowsInserted);
        connect(
            source, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex&, int first, int last) { beginRemoveRows({}, first, last); });
        connect(source, &QAbstractItemModel::rowsRemoved, this, &StepRowsModel::endRemoveRows);
        // The grid shows a fixed set of columns; a change of the table's
        // columns is shown as a new table.
        for (const auto aboutToChange : {&QAbstractItemModel::columnsAboutToBeInserted,
                                         &QAbstractItemModel::columnsAboutToBeRemoved}) {
            connect(source, aboutToChange, this, &StepRowsModel::beginResetModel);
        }
        for (const auto changed :
             {&QAbstractItemModel::columnsInserted, &QAbstractItemModel::columnsRemoved}) {
            connect(source, changed, this, &StepRowsModel::endResetModel);
        }
    }
    endResetModel();
}

void StepRowsModel::setLocked(bool locked) {
    locked_ = locked;
}

void StepRowsModel::setEnglish(bool english) {
    if (std::exchange(english_, english) != english) {
        emit headerDataChanged(Qt::Horizontal, kVoltageColumn, kHoldColumn);
    }
}

void StepRowsModel::setMarkedRow(int row) {
    const int previous = std::exchange(markedRow_, row);
    if (previous == row) {
        return;
    }
    for (const int changed : {previous, row}) {
        if (changed >= 0 && changed < rowCount()) {
            emit dataChanged(index(changed, 0), index(changed, columnCount() - 1),
                             {Qt::BackgroundRole});
        }
    }
}

bool StepRowsModel::isNewRow(int row) const {
    return row == sourceRows();
}

int StepRowsModel::sourceRows() const {
    return sourceModel() != nullptr ? sourceModel()->rowCount() : 0;
}

void StepRowsModel::sourceRowsAboutToBeInserted(int first, int last) {
    if (first == sourceRows()) {
        appendedFrom_ = first;
        beginInsertRows({}, first + 1, last + 1);
    } else {
        beginInsertRows({}, first, last);
    }
}

void StepRowsModel::sourceRowsInserted() {
    endInsertRows();
    if (appendedFrom_ >= 0) {
        const int row = appendedFrom_;
        appendedFrom_ = -1;
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
        emit headerDataChanged(Qt::Vertical, row, rowCount() - 1);
    }
}

QModelIndex StepRowsModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) {
        return {};
    }
    return createIndex(row, column);
}

QModelIndex StepRowsModel::parent(const QModelIndex&) const {
    return {};
}

int StepRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || sourceModel() == nullptr ? 0 : sourceRows() + 1;
}

int StepRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || sourceModel() == nullptr
               ? 0
               : qMin(sourceModel()->columnCount(), kShownColumns);
}

QModelIndex StepRowsModel::mapToSource(const QModelIndex& proxyIndex) const {
    if (!proxyIndex.isValid() || proxyIndex.model() != this || isNewRow(proxyIndex.row())) {
        return {};
    }
    return sourceModel()->index(proxyIndex.row(), proxyIndex.column());
}

QModelIndex StepRowsModel::mapFromSource(const QModelIndex& sourceIndex) const {
    if (!sourceIndex.isValid() || sourceIndex.column() >= kShownColumns) {
        return {};
    }
    return createIndex(sourceIndex.row(), sourceIndex.column());
}

QVariant StepRowsModel::data(const QModelIndex& index, int role) const {
    if (index.isValid() && isNewRow(index.row())) {
        return {};
    }
    if (role == Qt::BackgroundRole && index.isValid() && index.row() == markedRow_) {
        return kMarkedStepColour;
    }
    return QAbstractProxyModel::data(index, role);
}

bool StepRowsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!(flags(index) & Qt::ItemIsEditable)) {
        return false;
    }
    if (!isNewRow(index.row())) {
        return QAbstractProxyModel::setData(index, value, role);
    }
    // Nothing entered into the new-step row adds no step.
    if (value.isNull()) {
        return true;
    }
    const int row = index.row();
    if (!sourceModel()->insertRow(row)) {
        return false;
    }
    if (!sourceModel()->setData(sourceModel()->index(row, index.column()), value, role)) {
        sourceModel()->removeRow(row);
        return false;
    }
    return true;
}

Qt::ItemFlags StepRowsModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = isNewRow(index.row())
                              ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable
                              : QAbstractProxyModel::flags(index);
    if (locked_) {
        flags &= ~Qt::ItemIsEditable;
    }
    return flags;
}

// Every cell is edited in place, the new-step row's too, which the source
// knows nothing of.
QModelIndex StepRowsModel::buddy(const QModelIndex& index) const {
    return index;
}

// Escape gives up only the entry being typed. The view would also have the
// table forget every other cell entered in the row, which is more than the
// operator asked for.
void StepRowsModel::revert() {}

QVariant StepRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (sourceModel() == nullptr) {
        return {};
    }
    if (orientation == Qt::Vertical && isNewRow(section)) {
        return role == Qt::DisplayRole ? QVariant(QStringLiteral("*")) : QVariant();
    }
    if (english_ && orientation == Qt::Horizontal && role == Qt::DisplayRole &&
        section >= kVoltageColumn && section <= kHoldColumn) {
        static const std::array<QString, 3> kHeadings = {
            QStringLiteral("Volts (V)"), QStringLiteral("Amps (A)"), QStringLiteral("Time (s)")};
        return kHeadings[section - kVoltageColumn];
    }
    return sourceModel()->headerData(section, orientation, role);
}
