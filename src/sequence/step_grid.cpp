#include "sequence/step_grid.h"

#include "sequence/number_cell_delegate.h"
#include "sequence/step_rows_model.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QSqlError>
#include <QSqlTableModel>
#include <QTableView>

#include <algorithm>

namespace {

constexpr QAbstractItemView::EditTriggers kEditTriggers = QAbstractItemView::DoubleClicked |
                                                          QAbstractItemView::EditKeyPressed |
                                                          QAbstractItemView::AnyKeyPressed;

} // namespace

StepGrid::StepGrid(const QString& caption, QWidget* parent)
    : QWidget(parent), caption_(new QLabel(caption, this)), table_(new QTableView(this)),
      rows_(new StepRowsModel(this)), delegate_(new NumberCellDelegate(this)) {
    caption_->setAlignment(Qt::AlignCenter);
    caption_->setAutoFillBackground(true);
    caption_->setBackgroundRole(QPalette::Button);
    caption_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    table_->setObjectName(QStringLiteral("DataGrid1Table"));
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(kEditTriggers);
    table_->setItemDelegate(delegate_);
    table_->installEventFilter(this);
    setFocusProxy(table_);
    setFocusPolicy(Qt::StrongFocus);

    connect(delegate_, &NumberCellDelegate::valueRefused, this,
            [this](const QString& text) { emit saveFailed(QStringLiteral("“%1”").arg(text)); });
    connect(qApp, &QApplication::focusChanged, this, &StepGrid::focusMoved);
}

// The grid's own children lose the focus while it is torn down; that is no
// edit to save.
StepGrid::~StepGrid() {
    disconnect(qApp, nullptr, this, nullptr);
}

QString StepGrid::caption() const {
    return caption_->text();
}

void StepGrid::setModel(QSqlTableModel* model) {
    model_ = model;
    rows_->setSourceModel(model);
    table_->setModel(rows_);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { saveEdits(); });
}

void StepGrid::resizeEvent(QResizeEvent*) {
    const int captionHeight = caption_->sizeHint().height();
    caption_->setGeometry(0, 0, width(), captionHeight);
    table_->setGeometry(0, captionHeight, width(), qMax(0, height() - captionHeight));
}

void StepGrid::setLocked(bool locked) {
    if (locked) {
        saveEdits();
    }
    locked_ = locked;
    rows_->setLocked(locked);
    table_->setEditTriggers(locked ? QAbstractItemView::NoEditTriggers : kEditTriggers);
}

bool StepGrid::saveEdits() {
    delegate_->finishEditing();
    if (model_ == nullptr || !model_->isDirty() || model_->submitAll()) {
        return true;
    }
    emit saveFailed(model_->lastError().text());
    return false;
}

void StepGrid::showCell(int row, int column) {
    table_->setCurrentIndex(rows_->index(row, column));
}

// Leaving the grid is leaving the row too: an edit must not wait for a row
// change that may never come, such as when the program is closed.
void StepGrid::focusMoved(QWidget* from, QWidget* to) {
    if (from != nullptr && isAncestorOf(from) && (to == nullptr || !isAncestorOf(to))) {
        saveEdits();
    }
}

bool StepGrid::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        if (!locked_) {
            removeSelectedRows();
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void StepGrid::removeSelectedRows() {
    if (model_ == nullptr || !saveEdits()) {
        return;
    }
    QList<int> rows;
    for (const QModelIndex& index : table_->selectionModel()->selectedIndexes()) {
        if (!rows_->isNewRow(index.row()) && !rows.contains(index.row())) {
            rows.append(index.row());
        }
    }
    if (rows.isEmpty()) {
        return;
    }
    // From the bottom up, so the rows still to go keep their numbers.
    std::sort(rows.begin(), rows.end(), std::greater<>());
    for (const int row : rows) {
        if (!model_->removeRow(row)) {
            emit saveFailed(model_->lastError().text());
            break;
        }
    }
    // The model keeps a removed row as a blank line until it reads the table
    // anew, which also loses the cursor: it goes to the row that took the
    // place of the topmost removed one.
    const int column = qMax(1, table_->currentIndex().column());
    model_->select();
    showCell(qMin(rows.last(), model_->rowCount()), column);
}
