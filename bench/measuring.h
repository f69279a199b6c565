#pragma once

#include "waiting.h"

#include <QList>

#include <algorithm>

inline double percentile(QList<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values.at(
        std::min<qsizetype>(values.size() - 1, static_cast<qsizetype>(p * values.size())));
}
