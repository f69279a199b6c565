#pragma once

#include "platform/platform.h"
#include "session/supply_session.h"

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
class QPushButton;
class QSlider;
class QStatusBar;
class QToolBar;
struct SetpointQuantity;
class StepGrid;

// What the window itself keeps: the layout factors and the charts' sweep.
struct WindowView {
    float scaleX = 0;
    float scaleY = 0;
    float lastScaleX = 0;
    float lastScaleY = 0;
    // The chart column the next display tick draws; 0 starts a new sweep.
    int chartIndex = 0;
    // The newest readings in volts / 10 and amperes, newest first.
    std::array<double, 3> voltageHistory{};
    std::array<double, 3> currentHistory{};
    // Whether each of the two newest seconds had a live reading: the charts
    // leave a gap where one had none.
    std::array<bool, 2> readingLiveHistory{};
};

// The program's one window. It shows the supply session's state and passes
// on what the operator does; the session decides what happens to the
// supply. Every control is named for what it is (also its objectName, so
// tests find it).
class MainWindow : public QWidget {
    Q_OBJECT
public:
    MainWindow(SupplySession& session, const Platform& platform, QWidget* parent = nullptr);
    ~MainWindow() override;

    SupplySession& session() const { return session_; }
    WindowView view;

    // Controls on the window
    QToolBar* toolBand = nullptr;
    QLabel* languageCaption = nullptr;
    QComboBox* languageList = nullptr;
    QGroupBox* readoutGroup = nullptr;
    QGroupBox* settingsGroup = nullptr;
    // The voltage chart, then the current chart.
    std::array<PictureBox*, 2> charts{};
    LogBox* logBox = nullptr;
    StepGrid* stepGrid = nullptr;
    QLabel* runCountCaption = nullptr;
    QComboBox* runCountList = nullptr;
    QPushButton* runButton = nullptr;
    QPushButton* clearDiagnosticsButton = nullptr;
    DiagnosticPane* diagnosticPane = nullptr;
    QStatusBar* statusBar = nullptr;
    std::array<QLabel*, 3> statusPanels{};
    // Inside the readout group
    QLabel* voltageCaption = nullptr;
    QLabel* voltageReadout = nullptr;
    QLabel* currentCaption = nullptr;
    QLabel* currentReadout = nullptr;
    // Inside the settings group
    QPushButton* outputButton = nullptr;
    QComboBox* overCurrentModeList = nullptr;
    QLineEdit* currentEntry = nullptr;
    QLineEdit* voltageEntry = nullptr;
    QComboBox* currentStepList = nullptr;
    QComboBox* voltageStepList = nullptr;
    QSlider* voltageSlider = nullptr;
    QSlider* currentSlider = nullptr;
    QLabel* overCurrentModeCaption = nullptr;

    // window/layout.cpp
    // Places every visible control at its reference geometry times the factors.
    void applyLayout(float scaleX, float scaleY);
    // Computes the layout factors from the screen size and lays the window out.
    void layOutForScreen();
    // window/screen_check.cpp
    // Whether the screen size changed since the last look; updates the factors.
    bool screenChanged();

    // What the operator does. window/front_panel.cpp
    void voltageStepChosen();
    void currentStepChosen();
    void overCurrentModeChosen();
    void voltageSliderMoved();
    void currentSliderMoved();
    void voltageEntryEdited();
    void currentEntryEdited();
    void voltageEntryConfirmed();
    void currentEntryConfirmed();
    void outputButtonClicked();
    void runButtonClicked();
    void runCountChosen();
    // window/language.cpp
    void languageChosen();
    void clearDiagnostics();

    // window/chart.cpp
    // Draws both charts' empty frames.
    void drawEmptyCharts();

    // How many scripts are connected, for the status bar.
    void setRemoteClients(int count);

signals:
    // The window has closed: its stop saved, the port closed.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void load();
    void createControls();
    void setTabOrderOfControls();
    void connectHandlers();
    void connectSession();
    void bindStepGrid();
    void placeEdgeBars();
    // window/screen_check.cpp
    void screenCheck();
    void measureScreen();
    // window/language.cpp
    void applyLanguageTexts();
    void showButtonCaptions();
    static QString versionText(bool english);
    QString remoteClientsText(bool english) const;
    // window/display_update.cpp
    void showReadings();
    void showSessionState();
    void chartStep();
    // window/front_panel.cpp
    void showRefusal(const Refused& refusal);
    void showEntryText(QChar unit, const QString& text);
    void showSetpointInForce(QChar unit, int frameUnits);
    void showSliderWhileHeld(const SetpointQuantity& quantity);
    // window/run_display.cpp
    void showRunProgress();
    void sliderLetGo(const SetpointQuantity& quantity);
    void setFrontPanelEnabled(bool enabled);
    static void setButtonGreen(QPushButton* button, bool green);

    QString programDir() const { return platform_.programDir; }

    SupplySession& session_;
    Platform platform_;
    OutputState shownOutput_ = OutputState::Off;
    int remoteClients_ = 0;
    // The SET entries show a run's step rather than the operator's values.
    bool entriesShowStep_ = false;
};
