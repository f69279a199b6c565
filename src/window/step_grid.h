#pragma once

#include "sequence/step_csv.h"

#include <QWidget>

#include <functional>

class Dialogs;
class NumberCellDelegate;
class QLabel;
class QMenu;
class QSqlTableModel;
class QTableView;
class QTimer;
class StepRowsModel;

// The step-table editor: a grid with a caption bar above its headings. Edits
// are saved to the table as the operator leaves the row or the grid; the
// empty row at the bottom takes a new step; the Delete key removes the
// selected rows. Its context menu reads a step table from a CSV file and
// writes the table to one. Both run in slices between the event loop's other
// work, as the window's thread also sends the supply its frames; the grid is
// locked while one is under way.
class StepGrid : public QWidget {
    Q_OBJECT
public:
    explicit StepGrid(const QString& caption, QWidget* parent = nullptr);
    ~StepGrid() override;

    QTableView* table() const { return table_; }
    QString caption() const;
    void setModel(QSqlTableModel* model);
    // A locked grid refuses edits, so the table cannot change under a run.
    // The end of an import or export leaves this lock as it finds it.
    void setLocked(bool locked);
    bool isLocked() const { return locked_; }
    // Commits an open editor and writes every pending edit to the table;
    // false (and saveFailed) when the table refused them.
    bool saveEdits();
    // Marks the row of the step a run has in force, and brings it into
    // view; -1 marks none.
    void markStep(int row);
    // Puts the cursor on a cell of the table, by row and column position.
    void showCell(int row, int column);
    // Where the grid asks its questions and reports what it could not do.
    void setDialogs(Dialogs* dialogs) { dialogs_ = dialogs; }
    // The language of the headings, the context menu and the file choosers.
    void setEnglish(bool english);
    // Opens the context menu at a point of the screen; it goes away by itself.
    QMenu* showContextMenu(const QPoint& globalPosition);
    // Replaces the table with the steps of a CSV file the operator picks,
    // after asking when the table holds steps; a file with any bad line, or
    // larger than 2 MB, changes nothing.
    void importSteps();
    // Writes the table's steps to a CSV file the operator picks.
    void exportSteps();
    // An import or export is under way: the grid refuses edits and a second
    // one until it ends. An import waiting for the operator's answer is not.
    bool isTransferring() const { return bool(transferStep_); }

signals:
    // Something the operator entered did not reach the table.
    void saveFailed(const QString& why);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyLocks();
    void removeSelectedRows();
    // Runs `step`, which does a small piece of the work and says whether it
    // is all done, a slice at a time; `end` follows in a turn of its own
    // once the grid is unlocked again. Nothing runs when the grid's pending
    // edits cannot be saved first (saveFailed says why).
    void beginTransfer(std::function<bool()> step, std::function<void()> end);
    void continueTransfer();
    bool refusedWhileTransferring();
    void importFrom(const QString& path);
    void offerSteps(const QVector<StepRow>& rows, const QString& path);
    void replaceSteps(const QVector<StepRow>& rows);
    void exportTo(const QString& path);
    QString pick(const char* chinese, const char* english) const;
    void tell(const QString& text);
    void focusMoved(QWidget* from, QWidget* to);

    QLabel* caption_;
    QTableView* table_;
    StepRowsModel* rows_;
    NumberCellDelegate* delegate_;
    QSqlTableModel* model_ = nullptr;
    // The lock of setLocked(), a run's; an import or export locks the grid
    // through its transfer instead.
    bool locked_ = false;
    std::function<bool()> transferStep_;
    std::function<void()> transferEnd_;
    bool transferStepsDone_ = false;
    QTimer* sliceTimer_;
    Dialogs* dialogs_ = nullptr;
    bool english_ = false;
};
