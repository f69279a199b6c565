#pragma once

#include <QStringList>
#include <QWidget>
#include <deque>

// The hidden pane on which the serial link notes its events, one line each.
// It keeps only the newest lines, so a week-long run does not grow memory.
class DiagnosticPane : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 2000;
    // A flood of junk between two reads must not make one line huge either.
    static constexpr int kMaxLineLength = 4096;

    explicit DiagnosticPane(QWidget* parent = nullptr);

    void printLine(const QString& line);
    void clear();
    QStringList lines() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::deque<QString> lines_;
};
