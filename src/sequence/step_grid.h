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

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* caption_;
    QTableView* table_;
};
