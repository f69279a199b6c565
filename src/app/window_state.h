#pragma once

#include <QString>
#include <QVariant>
#include <QVector>
#include <array>

// The window's shared state: every handler and procedure reads and writes it
// directly. Field names follow the window design.
struct SessionState {
    // Command frame and replies
    QString frameText;
    qint16 sendPosition = 0;
    bool overCurrent = false;
    QString voltageDigits;
    QString currentDigits;

    // Link supervision and port search
    bool portOpened = false;
    qint16 portNumber = 0;
    qint16 readDivider = 0;
    bool readTick = false;
    qint16 emptyReadCount = 0;
    qint16 badReplyCount = 0;
    bool linkUp = false;
    std::array<bool, 17> portAvailable{}; // indexed by port number 1..16
    std::array<bool, 17> portFailed{};    // indexed by port number 1..16
    qint16 availableCount = 0;

    // Setpoints
    qint16 voltageSetpoint = 0;
    qint16 currentSetpoint = 0;
    QString lastVoltageText;
    QString lastCurrentText;
    qint16 voltageEditIdle = 0;
    qint16 currentEditIdle = 0;
    qint16 rowVoltage = 0;
    qint16 rowCurrent = 0;
    bool outputOn = false;
    bool tripMode = false;

    // Sequence run: sequenceTable[column 0..4][row 0..n]
    QVector<QVector<QVariant>> sequenceTable;
    bool runActive = false;
    qint16 rowIndex = 0;
    qint16 secondsLeft = 0;
    qint16 rowSeconds = 0;
    bool runsUnlimited = false;
    qint16 runsLeft = 0;
    qint16 runEndHandled = 0;

    // Display
    qint16 displayDivider = 0;
    bool displayTick = false;
    QString voltageText;
    QString currentText;
    std::array<double, 3> voltageHistory{};
    std::array<double, 3> currentHistory{};
    qint16 chartIndex = 0;

    // Language and layout
    bool englishUi = false;
    float scaleX = 0;
    float scaleY = 0;
    float lastScaleX = 0;
    float lastScaleY = 0;
};
