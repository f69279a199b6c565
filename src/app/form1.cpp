#include "app/form1.h"

#include "app/diagnostic_pane.h"
#include "display/log_box.h"
#include "display/picture_box.h"
#include "platform/screen.h"
#include "sequence/step_grid.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QSqlDatabase>
#include <QSqlTableModel>
#include <QStatusBar>
#include <QTimer>
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

Form1::Form1(const Platform& platform, QWidget* parent) : QWidget(parent), platform_(platform) {
    setObjectName(QStringLiteral("Form1"));
    MSComm1 = platform_.serialPort;
    createControls();
    setTabOrderOfControls();
    connectHandlers();
    Form_Load();
    Timer1->start();
    Timer2->start();
}

Form1::~Form1() {
    // The grid and its model go before their database connection is removed,
    // which they would otherwise still hold; the children would go only
    // after this body.
    delete DataGrid1;
    DataGrid1 = nullptr;
    delete Adodc1;
    Adodc1 = nullptr;
    if (!databaseConnection_.isEmpty()) {
        QSqlDatabase::database(databaseConnection_, false).close();
        QSqlDatabase::removeDatabase(databaseConnection_);
    }
}

// Creation order is stacking order: what is created later lies on top.
void Form1::createControls() {
    const QColor red(255, 0, 0);
    const QColor blue(0, 0, 255);

    Toolbar1 = named(new QToolBar(this), "Toolbar1");
    Toolbar1->setMovable(false);

    Label5 = makeLabel(this, "Label5", QStringLiteral("中文/English"), designFont(kSong, 16));
    Combo3 = makeCombo(this, "Combo3", designFont(kHei, 14));
    setTextColour(Combo3, blue);

    Frame1 = named(new QGroupBox(QStringLiteral("输出"), this), "Frame1");
    Frame1->setFont(designFont(kKai, 18));
    setCaptionColour(Frame1, blue);
    Label1 = makeLabel(Frame1, "Label1", QStringLiteral("U:"), designFont(kSong, 22));
    setTextColour(Label1, red);
    Label2 = makeLabel(Frame1, "Label2", QStringLiteral("00.00V"), designFont(kSong, 22));
    setTextColour(Label2, blue);
    Label3 = makeLabel(Frame1, "Label3", QStringLiteral("I:"), designFont(kSong, 22));
    setTextColour(Label3, red);
    Label4 = makeLabel(Frame1, "Label4", QStringLiteral("0.000A"), designFont(kSong, 22));
    setTextColour(Label4, blue);

    Frame2 = named(new QGroupBox(QStringLiteral("设置"), this), "Frame2");
    Frame2->setFont(designFont(kKai, 18));
    setCaptionColour(Frame2, blue);
    Label6 = makeLabel(Frame2, "Label6", QStringLiteral("过流保护"), designFont(kKai, 18));
    Label6->setAlignment(Qt::AlignCenter);
    setTextColour(Label6, blue);
    Slider2 = named(new QSlider(Qt::Vertical, Frame2), "Slider2");
    Slider1 = named(new QSlider(Qt::Vertical, Frame2), "Slider1");
    // A drag acts once, where the thumb is let go: the load never sees the
    // voltages passed on the way.
    Slider1->setTracking(false);
    Slider2->setTracking(false);
    Combo1 = makeCombo(Frame2, "Combo1", designFont(kSong, 22));
    setTextColour(Combo1, blue);
    Combo2 = makeCombo(Frame2, "Combo2", designFont(kSong, 22));
    setTextColour(Combo2, blue);
    Text1 = makeEntry(Frame2, "Text1", QStringLiteral("00.00V"));
    Text2 = makeEntry(Frame2, "Text2", QStringLiteral("0.000A"));
    Combo4 = makeCombo(Frame2, "Combo4", designFont(kSong, 10.5));
    setTextColour(Combo4, blue);
    Command1 = named(new QPushButton(QStringLiteral("开"), Frame2), "Command1");
    Command1->setFont(designFont(kSong, 15));

    for (int i = 0; i < 2; ++i) {
        Picture1[i] = new PictureBox(this);
        Picture1[i]->setObjectName(QStringLiteral("Picture1(%1)").arg(i));
        Picture1[i]->setFont(designFont(QFont().family(), 9));
        Picture1[i]->setFocusPolicy(Qt::StrongFocus);
    }

    Text3 = named(new LogBox(QStringLiteral("Text3"), this), "Text3");
    Text3->setFont(designFont(QFont().family(), 9));

    DataGrid1 = named(new StepGrid(QStringLiteral("Velkor"), this), "DataGrid1");
    DataGrid1->setFont(designFont(kSong, 9));

    Label7 = makeLabel(this, "Label7", QStringLiteral("运行次数"), designFont(kSong, 10.5));
    Combo5 = makeCombo(this, "Combo5", designFont(kSong, 10.5));
    {
        QPalette palette = Combo5->palette();
        palette.setColor(QPalette::Text, blue);
        palette.setColor(QPalette::ButtonText, blue);
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        Combo5->setPalette(palette);
    }
    Command4 = named(new QPushButton(QStringLiteral("开始"), this), "Command4");
    Command4->setFont(designFont(kSong, 15));

    Command5 = named(new QPushButton(QStringLiteral("Command5"), this), "Command5");
    Command5->setFont(designFont(QFont().family(), 9));
    Command5->hide();

    // The diagnostic pane keeps its stored geometry and is never shown.
    Picture2 = named(new DiagnosticPane(this), "Picture2");
    const double tppX = platform_.screen->twipsPerPixelX();
    const double tppY = platform_.screen->twipsPerPixelY();
    Picture2->setGeometry(qRound(6120 / tppX), qRound(360 / tppY), qRound(13215 / tppX),
                          qRound(10455 / tppY));
    Picture2->hide();

    StatusBar1 = named(new QStatusBar(this), "StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setFont(designFont(kSong, 12));
    const std::array<QString, 3> panelTexts = {QStringLiteral("通讯状态:等待..."),
                                               QStringLiteral("Velkor"), versionText(false)};
    const std::array<int, 3> panelStretch = {3, 2, 2};
    for (int i = 0; i < 3; ++i) {
        statusPanels[i] = new QLabel(panelTexts[i], StatusBar1);
        statusPanels[i]->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i + 1));
        statusPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusBar1->addWidget(statusPanels[i], panelStretch[i]);
    }

    // Their intervals are set at start-up.
    Timer1 = named(new QTimer(this), "Timer1");
    Timer2 = named(new QTimer(this), "Timer2");
    Timer2->setTimerType(Qt::PreciseTimer);

    journalSync_ = new QTimer(this);
    journalSync_->setInterval(1000);
}

// The operator's choice in a list is "activated", which also fires for the
// item already chosen; code that selects an item calls the handler itself.
void Form1::connectHandlers() {
    connect(Combo1, &QComboBox::activated, this, &Form1::Combo1_Click);
    connect(Combo2, &QComboBox::activated, this, &Form1::Combo2_Click);
    connect(Combo3, &QComboBox::activated, this, &Form1::Combo3_Click);
    connect(Combo4, &QComboBox::activated, this, &Form1::Combo4_Click);
    connect(Combo5, &QComboBox::activated, this, &Form1::Combo5_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Slider1, &QSlider::valueChanged, this, &Form1::Slider1_Change);
    connect(Slider2, &QSlider::valueChanged, this, &Form1::Slider2_Change);
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(Text2, &QLineEdit::textChanged, this, &Form1::Text2_Change);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(Timer2, &QTimer::timeout, this, &Form1::Timer2_Timer);
    connect(journalSync_, &QTimer::timeout, this, &Form1::syncJournal);
}

void Form1::setTabOrderOfControls() {
    const std::array<QWidget*, 15> order = {Picture1[1], Picture1[0], Combo1, Combo2,   Slider1,
                                            Slider2,     Text1,       Text2,  Combo3,   Command4,
                                            DataGrid1,   Text3,       Combo4, Command1, Combo5};
    for (std::size_t i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

// The toolbar and the status bar follow the window's top and bottom edges.
void Form1::placeEdgeBars() {
    const double tppY = platform_.screen->twipsPerPixelY();
    const int toolbarHeight = qRound(675 / tppY);
    const int statusHeight = qRound(495 / tppY);
    Toolbar1->setGeometry(0, 0, width(), toolbarHeight);
    StatusBar1->setGeometry(0, height() - statusHeight, width(), statusHeight);
}

void Form1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeEdgeBars();
}

// A close waits for the record of its stop, and one that would lose a
// measurement log is refused.
void Form1::closeEvent(QCloseEvent* event) {
    if (!readyToClose()) {
        event->ignore();
        return;
    }
    Timer1->stop();
    Timer2->stop();
    Form_Unload();
    event->accept();
    emit closed();
}
