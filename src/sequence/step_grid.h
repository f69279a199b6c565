#pragma once

#include <QWidget>

class QLabel;
class QTableView;

// The step-table editor: a grid with a caption bar above its headings.
class StepGrid : public QWidget {
    Q_OBJECT
public:
    explicit StepGrid(const QString& caption, QWidget* parent = nullptr);

    QTableView* table() const { return table_; }
    QString caption() const;
    // A locked grid refuses edits, so the table cannot change under a run.
    void setLocked(bool locked);
    bool isLocked() const { return locked_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* caption_;
    QTableView* table_;
    bool locked_ = false;
};
