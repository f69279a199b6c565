#pragma once

#include "platform/screen.h"

// The screen the program starts on, as Qt reports it.
class PrimaryScreen : public Screen {
public:
    QSize sizeInPixels() const override;
    double twipsPerPixelX() const override;
    double twipsPerPixelY() const override;
    QRect availableGeometry() const override;
};
