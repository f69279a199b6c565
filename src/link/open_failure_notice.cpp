#include "link/open_failure_notice.h"

namespace {

// The remedy for a device this account may not open. Joining a group only
// helps where the device is shared with one; root's own group is no remedy.
QString permissionText(const QString& device, const QString& group) {
    if (group.isEmpty() || group == QLatin1String("root")) {
        return QStringLiteral("无权打开串口设备 %1。\n请让管理员给当前用户该设备的读写权限。\n\n"
                              "No permission to open the serial device %1.\n"
                              "Ask the administrator for read and write access to it.")
            .arg(device);
    }
    return QStringLiteral("无权打开串口设备 %1。\n请把当前用户加入拥有该设备的用户组 %2"
                          "（例如 sudo usermod -aG %2 $USER），然后注销并重新登录。\n\n"
                          "No permission to open the serial device %1.\n"
                          "Join the group that owns it, %2 (for example sudo usermod -aG %2 "
                          "$USER), then log out and log in again.")
        .arg(device, group);
}

} // namespace

std::optional<OpenFailureNotice> openFailureNotice(const OpenFailure& failure) {
    const QString title = QStringLiteral("Velkor");
    switch (failure.reason) {
    case OpenFailure::Reason::NoPermission:
        return OpenFailureNotice{permissionText(failure.device, failure.group), title};
    case OpenFailure::Reason::InUse:
        return OpenFailureNotice{
            QStringLiteral(
                "串口设备 %1 正被另一个程序占用。\n请关闭那个程序，本程序会自动连接。\n\n"
                "The serial device %1 is in use by another program.\n"
                "Close that program; this one connects by itself.")
                .arg(failure.device),
            title};
    case OpenFailure::Reason::None:
    case OpenFailure::Reason::Missing:
    case OpenFailure::Reason::Other:
        break;
    }
    return std::nullopt;
}
