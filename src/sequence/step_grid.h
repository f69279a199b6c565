#pragma once

#include "sequence/step_csv.h"

#include <QWidget>

class Dialogs;
class NumberCellDelegate;
class QLabel;
class QMenu;
class QSqlTableModel;
class QTableView;
class StepRowsModel;

// The step-table editor: a grid with a caption bar above its headings. Edits
// are saved to the table as the operator leaves the row or the grid; the
// empty row at the bottom takes a new step; the Delete key removes the
// selected rows. Its context menu reads a step table from a CSV file and
// writes the table to one.
class StepGrid : public QWidget {
    Q_OBJECT
public:
    explicit StepGrid(const QString& caption, QWidget* parent = nullptr);
    ~StepGrid() override;

    QTableView* table() const { return table_; }
    QString caption() const;
    void setModel(QSqlTableModel* model);
    // A locked grid refuses edits, so the table cannot change under a run.
    void setLocked(bool locked);
    bool isLocked() const { return locked_; }
    // Commits an open editor and writes every pending edit to the table;
    // false (and saveFailed) when the table refused them.
    bool saveEdits();
    // Puts the cursor on a cell of the table, by row and column position.
    void showCell(int row, int column);
    // Where the grid asks its questions and reports what it could not do.
    void setDialogs(Dialogs* dialogs) { dialogs_ = dialogs; }
    // The language of the context menu and the file choosers.
    void setEnglish(bool english) { english_ = english; }
    // Opens the context menu at a point of the screen; it goes away by itself.
    QMenu* showContextMenu(const QPoint& globalPosition);
    // Replaces the table with the steps of a CSV file the operator picks,
    // after asking when the table holds steps; a file with any bad line, or
    // larger than 2 MB, changes nothing.
    void importSteps();
    // Writes the table's steps to a CSV file the operator picks.
    void exportSteps();

signals:
    // Something the operator entered did not reach the table.
    void saveFailed(const QString& why);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void removeSelectedRows();
    void importFrom(const QString& path);
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
    bool locked_ = false;
    Dialogs* dialogs_ = nullptr;
    bool english_ = false;
};
