#include "sequence/step_grid.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>

StepGrid::StepGrid(const QString& caption, QWidget* parent)
    : QWidget(parent), caption_(new QLabel(caption, this)), table_(new QTableView(this)) {
    caption_->setAlignment(Qt::AlignCenter);
    caption_->setAutoFillBackground(true);
    caption_->setBackgroundRole(QPalette::Button);
    caption_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    table_->setObjectName(QStringLiteral("DataGrid1Table"));
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    setFocusProxy(table_);
    setFocusPolicy(Qt::StrongFocus);
}

QString StepGrid::caption() const {
    return caption_->text();
}

void StepGrid::resizeEvent(QResizeEvent*) {
    const int captionHeight = caption_->sizeHint().height();
    caption_->setGeometry(0, 0, width(), captionHeight);
    table_->setGeometry(0, captionHeight, width(), qMax(0, height() - captionHeight));
}

void StepGrid::setLocked(bool locked) {
    locked_ = locked;
    table_->setEditTriggers(locked ? QAbstractItemView::NoEditTriggers
                                   : QAbstractItemView::DoubleClicked |
                                         QAbstractItemView::EditKeyPressed |
                                         QAbstractItemView::AnyKeyPressed);
}
