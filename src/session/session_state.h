#pragma once

#include <QString>
#include <QVariant>
#include <QVector>
#include <array>

// What the supply session knows besides the output's state: the frame, the
// link, the readings, the setpoints and the run's position. Setpoints and
// readings are in the frame's units: 10 mV for a voltage, 1 mA for a current.
struct SessionState {
    // Command frame and replies
    QString frameText;
    // Characters of the current frame sent so far, 0..16.
    int sendPosition = 0;
    bool overCurrent = false;
    QString voltageDigits;
    QString currentDigits;

    // Link supervision and port search
    bool portOpened = false;
    int portNumber = 0;
    int readDivider = 0;
    bool readTick = false;
    int emptyReadCount = 0;
    int badReplyCount = 0;
    bool linkUp = false;
    // Reads since the last one that brought an accepted reply; a reading is
    // fresh while this is 0 or 1.
    int readsSinceReply = kNoReplyYet;
    std::array<bool, 17> portAvailable{}; // indexed by port number 1..16
    std::array<bool, 17> portFailed{};    // indexed by port number 1..16
    int availableCount = 0;

    // Setpoints
    int voltageSetpointCentivolts = 0;
    int currentSetpointMilliamps = 0;
    QString lastVoltageText;
    QString lastCurrentText;
    // The entry texts the operator or a script gave, and for how many ticks
    // each has rested unchanged (held at 100).
    QString voltageEntryText;
    QString currentEntryText;
    int voltageEditIdle = 0;
    int currentEditIdle = 0;
    int rowCentivolts = 0;
    int rowMilliamps = 0;
    bool tripMode = false;

    // Sequence run: sequenceTable[column 0..4][row 0..n]
    QVector<QVector<QVariant>> sequenceTable;
    int rowIndex = 0;
    int secondsLeft = 0;
    int rowSeconds = 0;
    bool runsUnlimited = true;
    int runsLeft = 0;
    // The pass in force, from 1; 0 outside a run.
    int passNumber = 0;
    bool runEndHandled = false;

    // Display
    int displayDivider = 0;
    bool displayTick = false;
    QString voltageText;
    QString currentText;

    bool englishUi = false;

    static constexpr int kNoReplyYet = 1 << 20;
    bool readingFresh() const { return readsSinceReply <= 1; }
    // The readings are what the supply does now: fresh, on a link that is up.
    bool readingLive() const { return linkUp && readingFresh(); }
};
