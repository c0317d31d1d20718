#include "app/shell.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMessageBox>
#include <QUrl>

#include "app/qt_text.h"

namespace tarvo {

// 信息： in code page 936.
const Text kDefaultMessageBoxCaption = "\xD0\xC5\xCF\xA2\xA3\xBA";

MessageBoxAnswer DesktopShell::ShowMessageBox(const MessageBoxRequest& request) {
    const Text& caption = request.caption.empty() ? kDefaultMessageBoxCaption : request.caption;
    QMessageBox box(
        request.icon == MessageBoxIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
        ToQString(caption), ToQString(request.text), QMessageBox::NoButton, request.owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.setTextFormat(Qt::PlainText);
    if (request.buttons == MessageBoxButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
    }
    const int pressed = box.exec();
    if (request.buttons == MessageBoxButtons::Ok) return MessageBoxAnswer::Ok;
    return pressed == QMessageBox::Yes ? MessageBoxAnswer::Yes : MessageBoxAnswer::No;
}

void DesktopShell::OpenAddress(const Text& address) {
    QDesktopServices::openUrl(QUrl(ToQString(address)));
}

void PutTextOnClipboard(const Text& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) return;
    clipboard->setText(ToQString(text), QClipboard::Clipboard);
}

}  // namespace tarvo
