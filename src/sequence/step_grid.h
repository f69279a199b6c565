#pragma once

#include <QWidget>

class NumberCellDelegate;
class QLabel;
class QSqlTableModel;
class QTableView;
class StepRowsModel;

// The step-table editor: a grid with a caption bar above its headings. Edits
// are saved to the table as the operator leaves the row or the grid; the
// empty row at the bottom takes a new step; the Delete key removes the
// selected rows.
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

signals:
    // Something the operator entered did not reach the table.
    void saveFailed(const QString& why);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void removeSelectedRows();
    void focusMoved(QWidget* from, QWidget* to);

    QLabel* caption_;
    QTableView* table_;
    StepRowsModel* rows_;
    NumberCellDelegate* delegate_;
    QSqlTableModel* model_ = nullptr;
    bool locked_ = false;
};
