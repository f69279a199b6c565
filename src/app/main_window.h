#pragma once

#include "app/window_state.h"
#include "link/open_failure_notice.h"
#include "platform/platform.h"
#include "record/sample.h"

#include <QSet>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>

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
class RecordWorker;
struct RecordAnswer;
class SerialPort;
struct SetpointQuantity;
class StepGrid;
struct JournalRecovery;

// The program's one window. It owns every control, named as the window design
// names them (also their objectName, so tests find them), and the state record.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(const Platform& platform, QWidget* parent = nullptr);
    ~MainWindow() override;

    SessionState state;

    // Controls on the window
    QToolBar* toolBand = nullptr;
    QLabel* languageCaption = nullptr;
    QComboBox* languageList = nullptr;
    QGroupBox* readoutGroup = nullptr;
    QGroupBox* settingsGroup = nullptr;
    std::array<PictureBox*, 2> charts{};
    LogBox* logBox = nullptr;
    StepGrid* stepGrid = nullptr;
    QLabel* runCountCaption = nullptr;
    QComboBox* runCountList = nullptr;
    QPushButton* runButton = nullptr;
    QPushButton* clearDiagnosticsButton = nullptr;
    DiagnosticPane* diagnosticPane = nullptr;
    QSqlTableModel* stepTableModel = nullptr;
    SerialPort* serialPort = nullptr;
    QTimer* pollTimer = nullptr;
    QTimer* sendTimer = nullptr;
    QStatusBar* statusBar = nullptr;
    std::array<QLabel*, 3> statusPanels{};
    // Inside readoutGroup
    QLabel* voltageCaption = nullptr;
    QLabel* voltageReadout = nullptr;
    QLabel* currentCaption = nullptr;
    QLabel* currentReadout = nullptr;
    // Inside settingsGroup
    QPushButton* outputButton = nullptr;
    QComboBox* overCurrentModeList = nullptr;
    QLineEdit* currentEntry = nullptr;
    QLineEdit* voltageEntry = nullptr;
    QComboBox* currentStepList = nullptr;
    QComboBox* voltageStepList = nullptr;
    QSlider* voltageSlider = nullptr;
    QSlider* currentSlider = nullptr;
    QLabel* overCurrentModeCaption = nullptr;

    // app/startup.cpp
    void load();
    // The end of the process without its display (logout, a display server
    // that died): the stop, whole output-off frames to the supply, the record
    // saved (or at least its journal on disk) before the port closes; its
    // spreadsheet and picture are left out.
    void endWithoutDisplay();
    // A close is waiting for a record to be saved; it follows once it is.
    bool closeWaitsForRecord() const { return closeWaits_; }
    void releasePort();
    void clearDiagnostics();
    // False when the step table could not be opened at start: runs are refused.
    bool stepTableReady() const { return stepTableReady_; }

    // app/layout.cpp
    // Places every visible control at its reference geometry times the factors.
    void applyLayout(float scaleX, float scaleY);
    // Computes the layout factors from the screen size and lays the window out.
    qint16 layOutForScreen();

    // app/screen_check.cpp
    // Whether the screen size changed since the last look; updates the factors.
    qint16 screenChanged();

    // link/poll_cycle.cpp
    void pollTick();
    void sendTick();

    // link/port_search.cpp
    // Probes ports 1..16, marks those that open and returns how many did.
    qint16 probePorts(qint16& count);

    // app/language.cpp
    void languageChosen();

    // setting/front_panel.cpp
    void voltageStepChosen();
    void currentStepChosen();
    void overCurrentModeChosen();
    void voltageSliderMoved();
    void currentSliderMoved();
    void voltageEntryEdited();
    void currentEntryEdited();
    void outputButtonClicked();

    // setting/setpoint_acceptance.cpp
    // Accepts a voltage entry text as the voltage setpoint, or refuses it.
    void acceptVoltageText(const QString& text);
    // Accepts a current entry text as the current setpoint, or refuses it.
    void acceptCurrentText(const QString& text);

    // sequence/run_count.cpp
    void runCountChosen();

    // sequence/sequence_run.cpp
    void runButtonClicked();

    // display/stop_operation.cpp
    // The stop operation: output and run off, front panel back, record file.
    qint16 stopOperation();
    // The folder of the record files, beside the journals of the measurement
    // log and the step table in the data folder.
    QString recordDir() const { return dataDir() + QStringLiteral("/Record"); }

    // display/chart.cpp
    // Draws both charts' empty frames; returns the next chart column, 1.
    qint16 drawEmptyCharts();

    // sequence/step_table_binding.cpp
    void bindStepTable();

    // remote/remote_control.cpp
    // A script's settings, through the operations the controls call. Each
    // returns why it was refused, empty when done; a refusal never opens a
    // box on the operator's screen.
    QString remoteSetpoint(const SetpointQuantity& quantity, qint16 setpoint);
    QString remoteOutput(bool on);
    QString remoteRun(bool run);
    // True from an over-current trip until it is cleared or the output is
    // switched on again.
    bool overCurrentTripped() const { return overCurrentTripped_; }
    void clearOverCurrentTrip() { overCurrentTripped_ = false; }
    // How many scripts are connected, for the status bar.
    void setRemoteClients(int count);

signals:
    // The window has closed: its stop saved, the port closed.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // link/port_search.cpp; true when the choice step tried to open a port.
    bool searchPort();
    void noteWhyPortIsClosed(const OpenFailure& failure);
    void tellWhyPortsAreClosed();
    void withdrawOpenFailureNotices();
    // app/startup.cpp
    // Before a close: a stop as at any switch-off, while the output is on or a
    // run is going, and a new try for records not saved earlier; false while
    // a record is being saved and when a log would be lost.
    bool readyToClose();
    // link/poll_cycle.cpp
    // Sends the frame in force whole before the port closes for good.
    void sendWholeFrameBeforeClosing();
    void advanceDividers();
    void composeFrame();
    void readSection();
    void declareLossIfOverdue();
    void sortRead(const QByteArray& read);
    void acceptReply(const QString& block);
    void reportTickFailure(bool quiet);
    // app/screen_check.cpp
    void screenCheck();
    // Sets scaleX and scaleY from the screen's size in pixels.
    void measureScreen();
    // app/language.cpp
    void applyLanguageTexts();
    void showButtonCaptions();
    static QString versionText(bool english);
    // The widgets and state fields of one setpoint, voltage or current.
    struct SetpointSide {
        QLineEdit* entry;
        QSlider* slider;
        QString* lastText;
        qint16* setpoint;
    };
    // setting/setpoint_step.cpp
    void setpointStep();
    qint16 rowSetpoint(double value, const SetpointQuantity& quantity);
    bool takeVoltageEntry();
    bool takeCurrentEntry();
    bool takeEntry(const SetpointQuantity& quantity, const SetpointSide& side);
    // setting/setpoint_acceptance.cpp
    SetpointSide voltageSide();
    SetpointSide currentSide();
    bool acceptSetpoint(const QString& text, const SetpointQuantity& quantity,
                        const SetpointSide& side);
    void showOnSlider(QSlider* slider, qint16 setpoint);
    // setting/front_panel.cpp
    void acceptVoltageEntryQuietly();
    void writeLogHeader();
    static void setButtonGreen(QPushButton* button, bool green);
    // display/display_update.cpp
    void displayUpdate();
    // display/chart.cpp
    void chartStep();
    // display/stop_operation.cpp
    // The stop operation.
    void stopOutput();
    void overCurrentTrip();
    void setFrontPanelEnabled(bool enabled);
    // record/log_journal.cpp
    void connectRecordWorker();
    void recoverJournalsAtStart();
    void startJournal();
    void journalLine(const QString& line, const Sample& sample);
    void syncJournal();
    // Hands the log over to be saved as a record; the log box gets its
    // save-path line when the record is saved.
    void saveLogAsRecord();
    void recordsSaved(const RecordAnswer& answer);
    void journalsRecovered(const QList<JournalRecovery>& recoveries);
    void reportJournalFailure(const QString& path, const QString& why);
    // sequence/sequence_run.cpp
    bool loadStepTableForRun();
    void lockStepGrid(bool locked);
    void sequenceStep();

    // remote/remote_control.cpp
    // A refusal the operator caused goes to a box; one a script caused goes
    // back to the script.
    void refuse(const QString& text, const QString& title);
    QString refusalOf(const std::function<void()>& operation);
    QString remoteClientsText(bool english) const;

    void createControls();
    void setTabOrderOfControls();
    void connectHandlers();
    void placeEdgeBars();
    QString programDir() const { return platform_.programDir; }
    // Where the step table, the record files and the journals live: chosen
    // once at start, beside the program or in the per-user data folder.
    QString dataDir() const { return platform_.dataDir; }

    Platform platform_;
    QString databaseConnection_;
    bool stepTableReady_ = false;
    // Devices whose failure to open the operator has been told about.
    QSet<QString> explainedDevices_;
    // Failures the operator could mend, met by the latest search and not yet
    // told; and the notices told and not yet closed.
    QList<OpenFailure> searchFailures_;
    QList<OpenFailureNotice> openNotices_;
    // The frame the sender is putting on the line, taken at its first
    // character.
    QString frameOnLine_;
    // Setpoints the frame of this tick carries (10 mV, 1 mA).
    qint16 frameVoltage_ = 0;
    qint16 frameCurrent_ = 0;
    // The row in force during a run, in volts and amperes.
    double rowVolts_ = 0;
    double rowAmperes_ = 0;
    // Rows of the step table as loaded at the run's start.
    int stepRows_ = 0;
    // The values behind the log's measurement lines, for the files saved
    // beside the record.
    RunSeries samples_;
    // Where refusals go while a script's operation runs.
    QString* remoteRefusal_ = nullptr;
    bool overCurrentTripped_ = false;
    int remoteClients_ = 0;
    // Writes and syncs the journal and the records away from this thread.
    RecordWorker* records_ = nullptr;
    // Makes the journal durable while the output is on.
    QTimer* journalSync_ = nullptr;
    // Which log the log box shows: a record's answer for another log leaves
    // the box alone.
    int logTag_ = 0;
    // Saves handed over and not yet answered.
    int pendingSaves_ = 0;
    // Records whose save failed and that wait for the next try.
    int unsavedRecords_ = 0;
    int unsavedInMemory_ = 0;
    // A close under way: it stopped the output, it waits for a save.
    bool closing_ = false;
    bool closeStopped_ = false;
    bool closeWaits_ = false;
    // The process is ending inside exit(): Qt's globals are going, so the
    // record is saved without the spreadsheet and the picture drawn with them.
    bool exiting_ = false;
};
