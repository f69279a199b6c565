#include "platform/primary_screen.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

constexpr double kTwipsPerInch = 1440.0;

QScreen* screen() {
    return QGuiApplication::primaryScreen();
}

} // namespace

QSize PrimaryScreen::sizeInPixels() const {
    return screen() ? screen()->size() : QSize(1440, 900);
}

double PrimaryScreen::twipsPerPixelX() const {
    return screen() ? kTwipsPerInch / screen()->logicalDotsPerInchX() : 15.0;
}

double PrimaryScreen::twipsPerPixelY() const {
    return screen() ? kTwipsPerInch / screen()->logicalDotsPerInchY() : 15.0;
}

QRect PrimaryScreen::availableGeometry() const {
    return screen() ? screen()->availableGeometry() : QRect(0, 0, 1440, 900);
}
