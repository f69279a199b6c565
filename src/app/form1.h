#pragma once

#include "app/window_state.h"
#include "platform/platform.h"

#include <QString>
#include <QWidget>
#include <array>

class DiagnosticPane;
class LogBox;
class PictureBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QSqlTableModel;
class QStatusBar;
class QTimer;
class QToolBar;
class SerialPort;
class StepGrid;

// The program's one window. It owns every control, named as the window design
// names them (also their objectName, so tests find them), and the state record.
class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(const Platform& platform, QWidget* parent = nullptr);
    ~Form1() override;

    WindowState state;

    // Controls on the window
    QToolBar* Toolbar1 = nullptr;
    QLabel* Label5 = nullptr;
    QComboBox* Combo3 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    std::array<PictureBox*, 2> Picture1{};
    LogBox* Text3 = nullptr;
    StepGrid* DataGrid1 = nullptr;
    QLabel* Label7 = nullptr;
    QComboBox* Combo5 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    DiagnosticPane* Picture2 = nullptr;
    QSqlTableModel* Adodc1 = nullptr;
    SerialPort* MSComm1 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    std::array<QLabel*, 3> statusPanels{};
    // Inside Frame1
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    // Inside Frame2
    QPushButton* Command1 = nullptr;
    QComboBox* Combo4 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text1 = nullptr;
    QComboBox* Combo2 = nullptr;
    QComboBox* Combo1 = nullptr;
    QSlider* Slider1 = nullptr;
    QSlider* Slider2 = nullptr;
    QLabel* Label6 = nullptr;

    // app/startup.cpp
    void Form_Load();
    void Form_Unload();
    void Command5_Click();
    // False when the step table could not be opened at start: runs are refused.
    bool stepTableReady() const { return stepTableReady_; }

    // app/layout.cpp
    // Places every visible control at its reference geometry times the factors.
    void applyLayout(float scaleX, float scaleY);
    // Computes the layout factors from the screen size and lays the window out.
    qint16 FBL_REV();

    // app/language.cpp
    void Combo3_Click();

    // setting/front_panel.cpp
    void Combo1_Click();
    void Combo2_Click();
    void Combo4_Click();

    // setting/setpoint_acceptance.cpp
    // Accepts a voltage entry text as the voltage setpoint, or refuses it.
    void SZDYZH(const QString& text);
    // Accepts a current entry text as the current setpoint, or refuses it.
    void SZDLZH(const QString& text);

    // sequence/run_count.cpp
    void Combo5_Click();

    // sequence/step_table_binding.cpp
    void bindStepTable();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void createControls();
    void setTabOrderOfControls();
    void connectHandlers();
    void placeEdgeBars();
    QString programDir() const { return platform_.programDir; }

    Platform platform_;
    QString databaseConnection_;
    bool stepTableReady_ = false;
};
