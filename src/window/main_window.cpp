#include "window/main_window.h"

#include "platform/dialogs.h"
#include "platform/program_files.h"
#include "platform/screen.h"
#include "record/log_text.h"
#include "sequence/step_table.h"
#include "setting/setpoint.h"
#include "setting/setpoint_quantity.h"
#include "window/diagnostic_pane.h"
#include "window/log_box.h"
#include "window/picture_box.h"
#include "window/step_grid.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QSqlTableModel>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>

namespace {

const QString kSong = QStringLiteral("宋体");
const QString kHei = QStringLiteral("黑体");
const QString kKai = QStringLiteral("楷体_GB2312");

QFont designFont(const QString& face, double points) {
    QFont font(face);
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    return font;
}

// The window design gives one text colour per control; Qt draws labels,
// entries and combo boxes with different palette roles, so set all three.
void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

// Only the frame's caption is blue; buttons inside keep their own colours.
void setCaptionColour(QGroupBox* frame, const QColor& colour) {
    QPalette palette = frame->palette();
    palette.setColor(QPalette::WindowText, colour);
    frame->setPalette(palette);
}

template <typename T> T* named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QFont& font) {
    auto* label = named(new QLabel(text, parent), name);
    label->setFont(font);
    return label;
}

QComboBox* makeCombo(QWidget* parent, const char* name, const QFont& font) {
    auto* combo = named(new QComboBox(parent), name);
    combo->setFont(font);
    combo->setEditable(false);
    return combo;
}

QLineEdit* makeEntry(QWidget* parent, const char* name, const QString& text) {
    auto* entry = named(new QLineEdit(text, parent), name);
    entry->setFont(designFont(kSong, 22));
    setTextColour(entry, Qt::blue);
    return entry;
}

} // namespace

MainWindow::MainWindow(SupplySession& session, const Platform& platform, QWidget* parent)
    : QWidget(parent), session_(session), platform_(platform) {
    setObjectName(QStringLiteral("MainWindow"));
    createControls();
    setTabOrderOfControls();
    connectHandlers();
    connectSession();
    load();
}

// The grid goes before the session's step-table model, which it shows.
MainWindow::~MainWindow() {
    delete stepGrid;
    stepGrid = nullptr;
}

// Creation order is stacking order: what is created later lies on top.
void MainWindow::createControls() {
    const QColor red(255, 0, 0);
    const QColor blue(0, 0, 255);

    toolBand = named(new QToolBar(this), "toolBand");
    toolBand->setMovable(false);

    languageCaption =
        makeLabel(this, "languageCaption", QStringLiteral("中文/English"), designFont(kSong, 16));
    languageList = makeCombo(this, "languageList", designFont(kHei, 14));
    setTextColour(languageList, blue);

    readoutGroup = named(new QGroupBox(QStringLiteral("输出"), this), "readoutGroup");
    readoutGroup->setFont(designFont(kKai, 18));
    setCaptionColour(readoutGroup, blue);
    voltageCaption =
        makeLabel(readoutGroup, "voltageCaption", QStringLiteral("U:"), designFont(kSong, 22));
    setTextColour(voltageCaption, red);
    voltageReadout =
        makeLabel(readoutGroup, "voltageReadout", QStringLiteral("00.00V"), designFont(kSong, 22));
    setTextColour(voltageReadout, blue);
    currentCaption =
        makeLabel(readoutGroup, "currentCaption", QStringLiteral("I:"), designFont(kSong, 22));
    setTextColour(currentCaption, red);
    currentReadout =
        makeLabel(readoutGroup, "currentReadout", QStringLiteral("0.000A"), designFont(kSong, 22));
    setTextColour(currentReadout, blue);

    settingsGroup = named(new QGroupBox(QStringLiteral("设置"), this), "settingsGroup");
    settingsGroup->setFont(designFont(kKai, 18));
    setCaptionColour(settingsGroup, blue);
    overCurrentModeCaption = makeLabel(settingsGroup, "overCurrentModeCaption",
                                       QStringLiteral("过流保护"), designFont(kKai, 18));
    overCurrentModeCaption->setAlignment(Qt::AlignCenter);
    setTextColour(overCurrentModeCaption, blue);
    currentSlider = named(new QSlider(Qt::Vertical, settingsGroup), "currentSlider");
    voltageSlider = named(new QSlider(Qt::Vertical, settingsGroup), "voltageSlider");
    // A drag acts once, where the thumb is let go: the load never sees the
    // voltages passed on the way.
    voltageSlider->setTracking(false);
    currentSlider->setTracking(false);
    voltageStepList = makeCombo(settingsGroup, "voltageStepList", designFont(kSong, 22));
    setTextColour(voltageStepList, blue);
    currentStepList = makeCombo(settingsGroup, "currentStepList", designFont(kSong, 22));
    setTextColour(currentStepList, blue);
    voltageEntry = makeEntry(settingsGroup, "voltageEntry", QStringLiteral("00.00V"));
    currentEntry = makeEntry(settingsGroup, "currentEntry", QStringLiteral("0.000A"));
    overCurrentModeList = makeCombo(settingsGroup, "overCurrentModeList", designFont(kSong, 10.5));
    setTextColour(overCurrentModeList, blue);
    outputButton = named(new QPushButton(QStringLiteral("开"), settingsGroup), "outputButton");
    outputButton->setFont(designFont(kSong, 15));

    for (int i = 0; i < 2; ++i) {
        charts[i] = new PictureBox(this);
        charts[i]->setObjectName(i == 0 ? QStringLiteral("voltageChart")
                                        : QStringLiteral("currentChart"));
        charts[i]->setFont(designFont(QFont().family(), 9));
        charts[i]->setFocusPolicy(Qt::StrongFocus);
    }

    logBox = named(new LogBox(QStringLiteral("logBox"), this), "logBox");
    logBox->setFont(designFont(QFont().family(), 9));

    stepGrid = named(new StepGrid(QStringLiteral("Velkor"), this), "stepGrid");
    stepGrid->setFont(designFont(kSong, 9));

    runCountCaption =
        makeLabel(this, "runCountCaption", QStringLiteral("运行次数"), designFont(kSong, 10.5));
    runCountList = makeCombo(this, "runCountList", designFont(kSong, 10.5));
    {
        QPalette palette = runCountList->palette();
        palette.setColor(QPalette::Text, blue);
        palette.setColor(QPalette::ButtonText, blue);
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        runCountList->setPalette(palette);
    }
    runButton = named(new QPushButton(QStringLiteral("开始"), this), "runButton");
    runButton->setFont(designFont(kSong, 15));

    clearDiagnosticsButton = named(new QPushButton(QStringLiteral("clearDiagnosticsButton"), this),
                                   "clearDiagnosticsButton");
    clearDiagnosticsButton->setFont(designFont(QFont().family(), 9));
    clearDiagnosticsButton->hide();

    // The diagnostic pane keeps its stored geometry and is never shown.
    diagnosticPane = named(new DiagnosticPane(this), "diagnosticPane");
    const double tppX = platform_.screen->twipsPerPixelX();
    const double tppY = platform_.screen->twipsPerPixelY();
    diagnosticPane->setGeometry(qRound(6120 / tppX), qRound(360 / tppY), qRound(13215 / tppX),
                                qRound(10455 / tppY));
    diagnosticPane->hide();

    statusBar = named(new QStatusBar(this), "statusBar");
    statusBar->setSizeGripEnabled(false);
    statusBar->setFont(designFont(kSong, 12));
    const std::array<QString, 3> panelTexts = {QStringLiteral("通讯状态:等待..."),
                                               QStringLiteral("Velkor"), versionText(false)};
    const std::array<int, 3> panelStretch = {3, 2, 2};
    for (int i = 0; i < 3; ++i) {
        statusPanels[i] = new QLabel(panelTexts[i], statusBar);
        statusPanels[i]->setObjectName(QStringLiteral("statusPanel%1").arg(i + 1));
        statusPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        statusBar->addWidget(statusPanels[i], panelStretch[i]);
    }
}

// The operator's choice in a list is "activated", which also fires for the
// item already chosen; code that selects an item calls the handler itself.
void MainWindow::connectHandlers() {
    connect(voltageStepList, &QComboBox::activated, this, &MainWindow::voltageStepChosen);
    connect(currentStepList, &QComboBox::activated, this, &MainWindow::currentStepChosen);
    connect(languageList, &QComboBox::activated, this, &MainWindow::languageChosen);
    connect(overCurrentModeList, &QComboBox::activated, this, &MainWindow::overCurrentModeChosen);
    connect(runCountList, &QComboBox::activated, this, &MainWindow::runCountChosen);
    connect(clearDiagnosticsButton, &QPushButton::clicked, this, &MainWindow::clearDiagnostics);
    connect(outputButton, &QPushButton::clicked, this, &MainWindow::outputButtonClicked);
    connect(runButton, &QPushButton::clicked, this, &MainWindow::runButtonClicked);
    connect(voltageSlider, &QSlider::valueChanged, this, &MainWindow::voltageSliderMoved);
    connect(currentSlider, &QSlider::valueChanged, this, &MainWindow::currentSliderMoved);
    connect(voltageEntry, &QLineEdit::textChanged, this, &MainWindow::voltageEntryEdited);
    connect(currentEntry, &QLineEdit::textChanged, this, &MainWindow::currentEntryEdited);
    connect(voltageEntry, &QLineEdit::editingFinished, this, &MainWindow::voltageEntryConfirmed);
    connect(currentEntry, &QLineEdit::editingFinished, this, &MainWindow::currentEntryConfirmed);
    connect(voltageSlider, &QSlider::sliderMoved, this,
            [this] { showSliderWhileHeld(kVoltageQuantity); });
    connect(currentSlider, &QSlider::sliderMoved, this,
            [this] { showSliderWhileHeld(kCurrentQuantity); });
    connect(voltageSlider, &QSlider::sliderReleased, this,
            [this] { sliderLetGo(kVoltageQuantity); });
    connect(currentSlider, &QSlider::sliderReleased, this,
            [this] { sliderLetGo(kCurrentQuantity); });
}

void MainWindow::setTabOrderOfControls() {
    const std::array<QWidget*, 15> order = {
        charts[1],     charts[0],    voltageStepList,     currentStepList, voltageSlider,
        currentSlider, voltageEntry, currentEntry,        languageList,    runButton,
        stepGrid,      logBox,       overCurrentModeList, outputButton,    runCountList};
    for (std::size_t i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

// The toolbar and the status bar follow the window's top and bottom edges.
void MainWindow::placeEdgeBars() {
    const double tppY = platform_.screen->twipsPerPixelY();
    const int toolbarHeight = qRound(675 / tppY);
    const int statusHeight = qRound(495 / tppY);
    toolBand->setGeometry(0, 0, width(), toolbarHeight);
    statusBar->setGeometry(0, height() - statusHeight, width(), statusHeight);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeEdgeBars();
}

// A close waits for the record of its stop, and one that would lose a
// measurement log is refused.
void MainWindow::closeEvent(QCloseEvent* event) {
    if (session_.requestClose() != SupplySession::CloseAnswer::Closed) {
        event->ignore();
        return;
    }
    event->accept();
    emit closed();
}

namespace {

void configureSlider(QSlider* slider, int maximum) {
    slider->setMinimum(0);
    slider->setMaximum(maximum);
    slider->setOrientation(Qt::Vertical);
    slider->setSingleStep(kSliderStepFrameUnits);
    slider->setPageStep(10 * kSliderStepFrameUnits);
}

// Selecting the first entry is a selection like the operator's: the list's
// handler runs at that moment.
template <typename Handler>
void fillAndSelectFirst(QComboBox* combo, const QStringList& items, Handler handler) {
    combo->clear();
    combo->addItems(items);
    combo->setCurrentIndex(0);
    handler();
}

} // namespace

void MainWindow::load() {
    setWindowTitle(QStringLiteral("Velkor"));
    const QString iconPath = windowIconFile(programDir());
    if (!iconPath.isEmpty()) {
        setWindowIcon(QIcon(iconPath));
    }

    // Where no window manager maximizes the window it still covers the screen.
    const QRect available = platform_.screen->availableGeometry();
    move(available.topLeft());
    resize(available.size());
    setWindowState(Qt::WindowMaximized);

    layOutForScreen();

    configureSlider(voltageSlider, kVoltageFieldLimit);
    configureSlider(currentSlider, kCurrentFieldLimit);

    QStringList volts;
    for (int v = 0; v <= 31; ++v) {
        volts << QString::number(v) + QLatin1Char('V');
    }
    fillAndSelectFirst(voltageStepList, volts, [this] { voltageStepChosen(); });
    voltageEntry->setAlignment(Qt::AlignLeft);

    QStringList amperes;
    for (int k = 0; k <= 51; ++k) {
        amperes << shortestDecimalText(k / 10.0) + QLatin1Char('A');
    }
    fillAndSelectFirst(currentStepList, amperes, [this] { currentStepChosen(); });
    currentEntry->setAlignment(Qt::AlignLeft);

    fillAndSelectFirst(languageList, {QStringLiteral("中文"), QStringLiteral("English")},
                       [this] { languageChosen(); });
    fillAndSelectFirst(overCurrentModeList,
                       {QStringLiteral("恒流输出"), QStringLiteral("过流关断")},
                       [this] { overCurrentModeChosen(); });

    QStringList runCounts{QStringLiteral("x")};
    for (int n = 1; n <= 100; ++n) {
        runCounts << QString::number(n);
    }
    fillAndSelectFirst(runCountList, runCounts, [this] { runCountChosen(); });

    for (PictureBox* picture : charts) {
        picture->setForeColor(QColor(255, 255, 255));
    }
    view.chartIndex = 0;

    bindStepGrid();
    logBox->setText(session_.logText());
    statusPanels[0]->setText(QStringLiteral("通讯状态:等待..."));
}

void MainWindow::bindStepGrid() {
    QSqlTableModel* model = session_.stepTableModel();
    if (model == nullptr) {
        return;
    }
    model->setObjectName(QStringLiteral("stepTableModel"));
    stepGrid->setModel(model);
    stepGrid->setDialogs(platform_.dialogs);
    session_.setStepEditsCommitter([this] { return stepGrid->saveEdits(); });
    connect(stepGrid, &StepGrid::saveFailed, this, [this](const QString& why) {
        platform_.dialogs->message(QStringLiteral("输入的数据未能保存到步骤表。\n"
                                                  "The entry could not be saved to the step "
                                                  "table.\n\n%1")
                                       .arg(why),
                                   QStringLiteral("Velkor"));
    });
    QTableView* table = stepGrid->table();
    table->setColumnHidden(kKeyColumn, true);
    table->horizontalHeader()->setFont(stepGrid->font());
    // The column widths are the design's and do not follow the screen.
    const double tppX = platform_.screen->twipsPerPixelX();
    const std::array<int, 3> widths = {1005, 1005, 885};
    for (int column = kVoltageColumn; column <= kHoldColumn; ++column) {
        table->setColumnWidth(column, qRound(widths[column - kVoltageColumn] / tppX));
    }
}

// The session's news, shown as it comes.
void MainWindow::connectSession() {
    connect(&session_, &SupplySession::ticked, this, &MainWindow::screenCheck);
    connect(&session_, &SupplySession::changed, this, &MainWindow::showSessionState);
    connect(&session_, &SupplySession::changed, this, &MainWindow::showRunProgress);
    connect(&session_, &SupplySession::ticked, this, &MainWindow::showRunProgress);
    connect(&session_, &SupplySession::displayed, this, &MainWindow::showReadings);
    connect(&session_, &SupplySession::logReplaced, logBox, &LogBox::setText);
    connect(&session_, &SupplySession::logAppended, logBox, &LogBox::appendText);
    connect(&session_, &SupplySession::entryTextChanged, this, &MainWindow::showEntryText);
    connect(&session_, &SupplySession::setpointShown, this, &MainWindow::showSetpointInForce);
    connect(&session_, &SupplySession::diagnosticLine, diagnosticPane, &DiagnosticPane::printLine);
    connect(&session_, &SupplySession::notice, this, [this](const QString& text) {
        statusBar->showMessage(QString(text).replace(QLatin1Char('\n'), QStringLiteral("  ")));
    });
    connect(&session_, &SupplySession::stepCellRefused, stepGrid, &StepGrid::showCell);
    connect(&session_, &SupplySession::closeWaitOver, this, &QWidget::close);
}
