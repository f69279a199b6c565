#pragma once

#include "link/frame.h"
#include "setting/design_text.h"

#include <QString>

// What sets the voltage and the current setpoint apart: the unit letter of
// the entry, the range in the frame's units (10 mV, 1 mA), and the texts that
// refuse a value outside it.
struct SetpointQuantity {
    QChar unit;
    double frameUnitsPerUnit;
    int frameLimit;
    // "Enter a positive number of 4 digits not above the limit."
    DesignText prompt;
    // Titles of a refusal: of a typed entry that is no number, of a value
    // out of range, and of a run's row out of range.
    DesignText entryTitle;
    DesignText valueTitle;
    DesignText rowTitle;
    // What a row of the step table must hold, for a run's refusal.
    QString rowRule;

    // The limit in the entry's own unit: 31 V, 5.1 A.
    double limit() const { return frameLimit / frameUnitsPerUnit; }
};

// A slider's step, 0.1 V and 0.01 A, is ten of the frame's units for both:
// a slider gives no value finer than an operator would read off the entry.
inline constexpr int kSliderStepFrameUnits = 10;

inline const SetpointQuantity kVoltageQuantity{
    QLatin1Char('V'),
    100,
    kVoltageFieldLimit,
    {QStringLiteral("请输入4位不大于31的正数"),
     QStringLiteral("Enter a positive number of up to 4 digits, not above 31, such as 12.5V.")},
    {QStringLiteral("设置电压数据错误"), QStringLiteral("Voltage entry refused")},
    {QStringLiteral("电压数据错误"), QStringLiteral("Voltage out of range")},
    {QStringLiteral("表格电压数据错误"), QStringLiteral("Step table voltage out of range")},
    QStringLiteral("the voltage must be a number from 0 to 31")};

inline const SetpointQuantity kCurrentQuantity{
    QLatin1Char('A'),
    1000,
    kCurrentFieldLimit,
    {QStringLiteral("请输入4位不大于5.1的正数"),
     QStringLiteral("Enter a positive number of up to 4 digits, not above 5.1, such as 0.75A.")},
    {QStringLiteral("设置电流数据错误"), QStringLiteral("Current entry refused")},
    {QStringLiteral("电流数据错误"), QStringLiteral("Current out of range")},
    {QStringLiteral("表格电流数据错误"), QStringLiteral("Step table current out of range")},
    QStringLiteral("the current must be a number from 0 to 5.1")};
