#include "sequence/step_grid.h"

#include "platform/dialogs.h"
#include "sequence/number_cell_delegate.h"
#include "sequence/step_rows_model.h"
#include "sequence/step_table_store.h"

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlRecord>
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
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table_, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        showContextMenu(table_->viewport()->mapToGlobal(position));
    });
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

QString StepGrid::pick(const char* chinese, const char* english) const {
    return QString::fromUtf8(english_ ? english : chinese);
}

void StepGrid::tell(const QString& text) {
    if (dialogs_ != nullptr) {
        dialogs_->message(text, QStringLiteral("Velkor"));
    }
}

QMenu* StepGrid::showContextMenu(const QPoint& globalPosition) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* import =
        menu->addAction(pick("导入 CSV…", "Import CSV…"), this, &StepGrid::importSteps);
    // A run works from the table as it was when it started.
    import->setEnabled(!locked_ && model_ != nullptr);
    menu->addAction(pick("导出 CSV…", "Export CSV…"), this, &StepGrid::exportSteps)
        ->setEnabled(model_ != nullptr);
    menu->popup(globalPosition);
    return menu;
}

namespace {

const char kCsvFilter[] = "CSV (*.csv);;* (*)";

// The largest file an import reads; the largest table a run takes, 32767
// rows, fits in 1 MB.
constexpr qint64 kLargestImportBytes = 2 * 1024 * 1024;

QString fileTooLarge(qint64 bytes, const QString& path) {
    return QStringLiteral("文件有%1字节，导入上限为2 MB（%2字节），步骤表没有改变。\n"
                          "The file is %1 bytes; an import takes at most 2 MB (%2 bytes). "
                          "The step table is unchanged.\n\n%3")
        .arg(bytes)
        .arg(kLargestImportBytes)
        .arg(path);
}

} // namespace

void StepGrid::importSteps() {
    if (locked_ || model_ == nullptr || dialogs_ == nullptr) {
        return;
    }
    QPointer<StepGrid> grid(this);
    dialogs_->chooseFileToOpen(pick("导入步骤表", "Import step table"),
                               QString::fromLatin1(kCsvFilter), [grid](const QString& path) {
                                   if (grid) {
                                       grid->importFrom(path);
                                   }
                               });
}

void StepGrid::importFrom(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        tell(QStringLiteral("文件未能读取，步骤表没有改变。\nThe file could not be read; the step "
                            "table is unchanged.\n\n%1\n%2")
                 .arg(path, file.errorString()));
        return;
    }
    // Decided before a byte is read: a large file would hold the thread in
    // the reading alone.
    if (file.size() > kLargestImportBytes) {
        tell(fileTooLarge(file.size(), path));
        return;
    }
    const StepCsvReading reading = readStepCsv(file.readAll());
    if (!reading.problem.isEmpty()) {
        tell(
            QStringLiteral("%1\n\n未导入任何步骤，步骤表没有改变。\nNothing was imported; the step "
                           "table is unchanged.\n\n%2")
                .arg(reading.problem, path));
        return;
    }
    if (!saveEdits()) {
        return;
    }
    if (model_->rowCount() == 0) {
        replaceSteps(reading.rows);
        return;
    }
    while (model_->canFetchMore()) {
        model_->fetchMore();
    }
    QPointer<StepGrid> grid(this);
    dialogs_->ask(QStringLiteral("用文件中的%1行替换步骤表中的%2行？\n"
                                 "Replace the %2 steps of the table with the %1 steps of the "
                                 "file?\n\n%3")
                      .arg(reading.rows.size())
                      .arg(model_->rowCount())
                      .arg(path),
                  QStringLiteral("Velkor"), [grid, rows = reading.rows] {
                      if (grid) {
                          grid->replaceSteps(rows);
                      }
                  });
}

void StepGrid::replaceSteps(const QVector<StepRow>& rows) {
    // A run may have started while the operator was choosing.
    if (locked_) {
        tell(QStringLiteral("序列运行中，步骤表没有改变。\nA run is going; the step table is "
                            "unchanged."));
        return;
    }
    while (model_->canFetchMore()) {
        model_->fetchMore();
    }
    const QString problem = replaceStepRows(model_->database(), rows);
    model_->select();
    if (!problem.isEmpty()) {
        emit saveFailed(problem);
        return;
    }
    showCell(0, 1);
}

void StepGrid::exportSteps() {
    if (model_ == nullptr || dialogs_ == nullptr || !saveEdits()) {
        return;
    }
    QPointer<StepGrid> grid(this);
    dialogs_->chooseFileToSave(pick("导出步骤表", "Export step table"), QStringLiteral("steps.csv"),
                               QString::fromLatin1(kCsvFilter), [grid](const QString& path) {
                                   if (grid) {
                                       grid->exportTo(path);
                                   }
                               });
}

// The rows as the table holds them when the file is chosen.
void StepGrid::exportTo(const QString& path) {
    while (model_->canFetchMore()) {
        model_->fetchMore();
    }
    QVector<StepRow> rows;
    for (int row = 0; row < model_->rowCount(); ++row) {
        const QSqlRecord record = model_->record(row);
        rows.append({record.value(1), record.value(2), record.value(3)});
    }
    const QByteArray bytes = stepCsv(rows);
    QSaveFile file(path);
    // The bytes go to the device before commit(), which in Qt 6.4 misses a
    // failure of that last write.
    const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
                         file.flush() && file.commit();
    if (!written) {
        tell(QStringLiteral("步骤表未能导出。\nThe step table could not be exported.\n\n%1\n%2")
                 .arg(path, file.errorString()));
    }
}
