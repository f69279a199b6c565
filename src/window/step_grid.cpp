#include "window/step_grid.h"

#include "platform/dialogs.h"
#include "sequence/step_rows_model.h"
#include "sequence/step_table.h"
#include "sequence/step_table_store.h"
#include "window/number_cell_delegate.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QSaveFile>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

namespace {

constexpr QAbstractItemView::EditTriggers kEditTriggers = QAbstractItemView::DoubleClicked |
                                                          QAbstractItemView::EditKeyPressed |
                                                          QAbstractItemView::AnyKeyPressed;

} // namespace

StepGrid::StepGrid(const QString& caption, QWidget* parent)
    : QWidget(parent), caption_(new QLabel(caption, this)), table_(new QTableView(this)),
      rows_(new StepRowsModel(this)), delegate_(new NumberCellDelegate(this)),
      sliceTimer_(new QTimer(this)) {
    caption_->setAlignment(Qt::AlignCenter);
    caption_->setAutoFillBackground(true);
    caption_->setBackgroundRole(QPalette::Button);
    caption_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    table_->setObjectName(QStringLiteral("stepGridTable"));
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
    sliceTimer_->setSingleShot(true);
    sliceTimer_->setInterval(0);
    connect(sliceTimer_, &QTimer::timeout, this, &StepGrid::continueTransfer);
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
    applyLocks();
}

void StepGrid::applyLocks() {
    const bool refused = locked_ || isTransferring();
    rows_->setLocked(refused);
    table_->setEditTriggers(refused ? QAbstractItemView::NoEditTriggers : kEditTriggers);
}

bool StepGrid::saveEdits() {
    delegate_->finishEditing();
    if (model_ == nullptr || !model_->isDirty() || model_->submitAll()) {
        return true;
    }
    emit saveFailed(model_->lastError().text());
    return false;
}

void StepGrid::markStep(int row) {
    if (row == rows_->markedRow()) {
        return;
    }
    rows_->setMarkedRow(row);
    if (row >= 0) {
        table_->scrollTo(rows_->index(row, kVoltageColumn));
    }
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
        if (!locked_ && !isTransferring()) {
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

void StepGrid::setEnglish(bool english) {
    english_ = english;
    rows_->setEnglish(english);
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
    import->setEnabled(!locked_ && model_ != nullptr && !isTransferring());
    menu->addAction(pick("导出 CSV…", "Export CSV…"), this, &StepGrid::exportSteps)
        ->setEnabled(model_ != nullptr && !isTransferring());
    menu->popup(globalPosition);
    return menu;
}

namespace {

const char kCsvFilter[] = "CSV (*.csv);;* (*)";
// Spreadsheets save tab-separated text as .txt or .tsv; the reader takes
// either separator, so the import offers all three.
const char kImportFilter[] = "CSV, TXT, TSV (*.csv *.txt *.tsv);;* (*)";

// The largest file an import reads; the largest table a run takes, 32767
// rows, fits in 1 MB.
constexpr qint64 kLargestImportBytes = 2 * 1024 * 1024;

// How long a slice of an import or export may hold the window's thread
// before the event loop gets a turn: the sender's 5 ms tick is late by
// little more than this, and the thread must never be held for 20 ms.
constexpr qint64 kSliceNanoseconds = 4'000'000;

// The pieces a slice is made of, each far shorter than a slice.
constexpr qint64 kFileChunkBytes = 64 * 1024;
constexpr qsizetype kCsvPieceBytes = 4 * 1024;
constexpr int kRowsPerPiece = 64;

// Where an import stages its rows: a table of the connection's temporary
// database, which lives in no file of the operator's.
const QString kStagingTable = QStringLiteral("temp.step_import");

QString importUnchanged(const QString& why, const QString& path) {
    return QStringLiteral("%1\n\n未导入任何步骤，步骤表没有改变。\nNothing was imported; the step "
                          "table is unchanged.\n\n%2")
        .arg(why, path);
}

QString fileUnreadable(const QString& path, const QString& why) {
    return QStringLiteral("文件未能读取，步骤表没有改变。\nThe file could not be read; the step "
                          "table is unchanged.\n\n%1\n%2")
        .arg(path, why);
}

QString fileTooLarge(qint64 bytes, const QString& path) {
    return QStringLiteral("文件有%1字节，导入上限为2 MB（%2字节），步骤表没有改变。\n"
                          "The file is %1 bytes; an import takes at most 2 MB (%2 bytes). "
                          "The step table is unchanged.\n\n%3")
        .arg(bytes)
        .arg(kLargestImportBytes)
        .arg(path);
}

// The key and the three step columns of the table, by position whatever the
// file calls them, as SQL names.
QStringList stepColumns(const QSqlDatabase& db, const QString& table) {
    const QSqlRecord columns = db.record(table);
    QStringList names;
    for (int column = kKeyColumn; column <= kHoldColumn; ++column) {
        names << db.driver()->escapeIdentifier(columns.fieldName(column), QSqlDriver::FieldName);
    }
    return names;
}

QString sqlTable(const QSqlDatabase& db, const QString& table) {
    return db.driver()->escapeIdentifier(table, QSqlDriver::TableName);
}

// A step-table CSV file, read and checked a piece at a time.
class CsvFileReading {
public:
    explicit CsvFileReading(std::unique_ptr<QFile> file) : file_(std::move(file)) {}

    // Reads or checks one more piece; true once the file is taken or
    // refused.
    bool readPiece() {
        if (csv_) {
            return csv_->read(kCsvPieceBytes);
        }
        const QByteArray chunk = file_->read(kFileChunkBytes);
        if (file_->error() != QFileDevice::NoError) {
            refusal_ = fileUnreadable(file_->fileName(), file_->errorString());
            return true;
        }
        bytes_ += chunk;
        // The file grew after its size was checked.
        if (bytes_.size() > kLargestImportBytes) {
            refusal_ = fileTooLarge(qMax(file_->size(), qint64(bytes_.size())), file_->fileName());
            return true;
        }
        if (chunk.isEmpty()) {
            csv_.emplace(std::exchange(bytes_, {}));
        }
        return false;
    }
    // What to tell the operator when the file is refused; empty when its
    // steps are taken.
    QString refusal() const {
        if (!refusal_.isEmpty() || csv_->reading().problem.isEmpty()) {
            return refusal_;
        }
        return importUnchanged(csv_->reading().problem, file_->fileName());
    }
    const QVector<StepRow>& steps() const { return csv_->reading().rows; }

private:
    std::unique_ptr<QFile> file_;
    QByteArray bytes_;
    std::optional<StepCsvReader> csv_;
    QString refusal_;
};

// New steps for the table, staged a piece at a time in a temporary table,
// each piece in a short transaction of its own. The step table changes only
// in replace(), in one transaction: whatever reads it between slices (a run
// starting, the grid fetching rows) finds the old steps whole, and no
// transaction is left open between turns of the event loop. The staging
// table is never dropped, as SQLite refuses while the grid's model still has
// rows to fetch, and it keeps its rows until the next import empties it: a
// full table takes a few ms to empty, which the replacing turn cannot spare.
class StagedSteps {
public:
    StagedSteps(QSqlDatabase db, QVector<StepRow> rows)
        : db_(std::move(db)), rows_(std::move(rows)) {}

    // Stages one more piece; true once every row is staged or staging
    // failed.
    bool stagePiece() {
        QSqlQuery query(db_);
        if (staged_ < 0) {
            staged_ = 0;
            // The rows of the last import go first, in a piece of their own.
            if (!query.exec(
                    QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (voltage, current, hold_time)")
                        .arg(kStagingTable)) ||
                !query.exec(QStringLiteral("DELETE FROM ") + kStagingTable)) {
                problem_ = query.lastError().text();
                return true;
            }
            return false;
        }
        if (!db_.transaction()) {
            problem_ = db_.lastError().text();
            return true;
        }
        bool ok =
            query.prepare(QStringLiteral("INSERT INTO %1 VALUES (?, ?, ?)").arg(kStagingTable));
        const qsizetype pieceEnd = qMin(rows_.size(), staged_ + kRowsPerPiece);
        for (; ok && staged_ < pieceEnd; ++staged_) {
            for (int cell = 0; cell < 3; ++cell) {
                query.bindValue(cell, rows_[staged_][cell]);
            }
            ok = query.exec();
        }
        if (!ok) {
            problem_ = query.lastError().text();
            db_.rollback();
            return true;
        }
        if (!db_.commit()) {
            problem_ = db_.lastError().text();
            db_.rollback();
            return true;
        }
        return staged_ == rows_.size();
    }

    // Replaces every row of the table with the staged ones. Returns why it
    // failed, or the empty text.
    QString replace(const QString& table) {
        if (!problem_.isEmpty()) {
            return problem_;
        }
        const QStringList columns = stepColumns(db_, table);
        if (!db_.transaction()) {
            return db_.lastError().text();
        }
        QSqlQuery query(db_);
        const bool ok =
            query.exec(QStringLiteral("DELETE FROM ") + sqlTable(db_, table)) &&
            query.exec(QStringLiteral("INSERT INTO %1 (%2) SELECT voltage, current, hold_time "
                                      "FROM %3 ORDER BY rowid")
                           .arg(sqlTable(db_, table),
                                columns.mid(kVoltageColumn).join(QLatin1Char(',')), kStagingTable));
        if (!ok) {
            const QString why = query.lastError().text();
            db_.rollback();
            return why;
        }
        if (!db_.commit()) {
            const QString why = db_.lastError().text();
            db_.rollback();
            return why;
        }
        return {};
    }

private:
    QSqlDatabase db_;
    const QVector<StepRow> rows_;
    // -1 until the staging table is made.
    qsizetype staged_ = -1;
    QString problem_;
};

// The table as CSV, read a piece at a time through a query of its own. The
// query holds SQLite's read snapshot until its last row, so the file is the
// table as it stood when the export began.
class CsvExport {
public:
    CsvExport(const QSqlDatabase& db, const QString& table) : query_(db), bytes_(stepCsvHeader()) {
        const QStringList columns = stepColumns(db, table);
        query_.setForwardOnly(true);
        if (!query_.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                             .arg(columns.mid(kVoltageColumn).join(QLatin1Char(',')),
                                  sqlTable(db, table), columns[kKeyColumn]))) {
            problem_ = query_.lastError().text();
        }
    }

    // Reads one more piece; true once every row is read or reading failed.
    bool readPiece() {
        if (!problem_.isEmpty()) {
            return true;
        }
        for (int row = 0; row < kRowsPerPiece; ++row) {
            if (!query_.next()) {
                if (query_.lastError().isValid()) {
                    problem_ = query_.lastError().text();
                }
                query_.finish();
                return true;
            }
            bytes_ += stepCsvLine({query_.value(0), query_.value(1), query_.value(2)});
        }
        return false;
    }

    // Writes the CSV to the file. Returns why it failed, or the empty text.
    QString save(const QString& path) const {
        if (!problem_.isEmpty()) {
            return problem_;
        }
        QSaveFile file(path);
        // The bytes go to the device before commit(), which in Qt 6.4 misses a
        // failure of that last write.
        const bool written = file.open(QIODevice::WriteOnly) &&
                             file.write(bytes_) == bytes_.size() && file.flush() && file.commit();
        return written ? QString() : file.errorString();
    }

private:
    QSqlQuery query_;
    QByteArray bytes_;
    QString problem_;
};

} // namespace

void StepGrid::beginTransfer(std::function<bool()> step, std::function<void()> end) {
    // The transfer reads or replaces the table: an entry still open goes to
    // the table first.
    if (!saveEdits()) {
        return;
    }
    transferStep_ = std::move(step);
    transferEnd_ = std::move(end);
    applyLocks();
    // The first slice waits for the next turn: the caller, a menu or a
    // question, returns at once.
    sliceTimer_->start();
}

void StepGrid::continueTransfer() {
    if (transferStepsDone_) {
        const std::function<void()> end = std::exchange(transferEnd_, {});
        transferStep_ = {};
        transferStepsDone_ = false;
        applyLocks();
        end();
        return;
    }
    QElapsedTimer slice;
    slice.start();
    while (!transferStepsDone_ && slice.nsecsElapsed() < kSliceNanoseconds) {
        transferStepsDone_ = transferStep_();
    }
    // The end (the table's one transaction, the file's commit) comes in a
    // turn of its own.
    sliceTimer_->start();
}

// One import or export at a time: a second would read or replace a table the
// first is still working on.
bool StepGrid::refusedWhileTransferring() {
    if (!isTransferring()) {
        return false;
    }
    tell(QStringLiteral("步骤表正在导入或导出，请在完成后再试。\nThe step table is being imported "
                        "or exported; try again when that is done."));
    return true;
}

void StepGrid::importSteps() {
    if (locked_ || model_ == nullptr || dialogs_ == nullptr || refusedWhileTransferring()) {
        return;
    }
    QPointer<StepGrid> grid(this);
    dialogs_->chooseFileToOpen(pick("导入步骤表", "Import step table"),
                               QString::fromLatin1(kImportFilter), [grid](const QString& path) {
                                   if (grid) {
                                       grid->importFrom(path);
                                   }
                               });
}

void StepGrid::importFrom(const QString& path) {
    if (refusedWhileTransferring()) {
        return;
    }
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        tell(fileUnreadable(path, file->errorString()));
        return;
    }
    // Decided before a byte is read: a large file would hold the thread in
    // the reading alone.
    if (file->size() > kLargestImportBytes) {
        tell(fileTooLarge(file->size(), path));
        return;
    }
    auto reading = std::make_shared<CsvFileReading>(std::move(file));
    beginTransfer([reading] { return reading->readPiece(); },
                  [this, reading, path] {
                      if (!reading->refusal().isEmpty()) {
                          tell(reading->refusal());
                          return;
                      }
                      offerSteps(reading->steps(), path);
                  });
}

void StepGrid::offerSteps(const QVector<StepRow>& rows, const QString& path) {
    // Counted by the table: the grid fetches its rows only as they are shown.
    QSqlQuery count(model_->database());
    if (!count.exec(QStringLiteral("SELECT COUNT(*) FROM ") +
                    sqlTable(model_->database(), model_->tableName())) ||
        !count.next()) {
        emit saveFailed(count.lastError().text());
        return;
    }
    const int storedSteps = count.value(0).toInt();
    count.finish();
    if (storedSteps == 0) {
        replaceSteps(rows);
        return;
    }
    QPointer<StepGrid> grid(this);
    dialogs_->ask(QStringLiteral("用文件中的%1行替换步骤表中的%2行？\n"
                                 "Replace the %2 steps of the table with the %1 steps of the "
                                 "file?\n\n%3")
                      .arg(rows.size())
                      .arg(storedSteps)
                      .arg(path),
                  QStringLiteral("Velkor"), [grid, rows] {
                      if (grid) {
                          grid->replaceSteps(rows);
                      }
                  });
}

void StepGrid::replaceSteps(const QVector<StepRow>& rows) {
    if (refusedWhileTransferring()) {
        return;
    }
    auto staged = std::make_shared<StagedSteps>(model_->database(), rows);
    beginTransfer([staged] { return staged->stagePiece(); },
                  [this, staged] {
                      // A run may have started while the operator was choosing, or
                      // while the rows were staged.
                      if (locked_) {
                          tell(QStringLiteral("序列运行中，步骤表没有改变。\nA run is going; the "
                                              "step table is unchanged."));
                          return;
                      }
                      const QString problem = staged->replace(model_->tableName());
                      model_->select();
                      if (!problem.isEmpty()) {
                          emit saveFailed(problem);
                          return;
                      }
                      showCell(0, 1);
                  });
}

void StepGrid::exportSteps() {
    if (model_ == nullptr || dialogs_ == nullptr || refusedWhileTransferring() || !saveEdits()) {
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

void StepGrid::exportTo(const QString& path) {
    // The export's query begins after the grid's edits are in the table.
    if (refusedWhileTransferring() || !saveEdits()) {
        return;
    }
    auto csv = std::make_shared<CsvExport>(model_->database(), model_->tableName());
    beginTransfer([csv] { return csv->readPiece(); },
                  [this, csv, path] {
                      const QString problem = csv->save(path);
                      if (!problem.isEmpty()) {
                          tell(QStringLiteral("步骤表未能导出。\nThe step table could not be "
                                              "exported.\n\n%1\n%2")
                                   .arg(path, problem));
                      }
                  });
}
