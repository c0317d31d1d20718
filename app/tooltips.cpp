#include "app/tooltips.h"

#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

namespace tarvo {

void Tooltips::Add(QWidget* control, const QString& text, TooltipOptions options) {
    tips_.push_back({control, text, options});
    // Qt shows tips of inactive windows only when the window asks for it.
    control->window()->setAttribute(Qt::WA_AlwaysShowToolTips);
    control->installEventFilter(this);
}

bool Tooltips::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip) return false;
    for (const Tip& tip : tips_) {
        if (tip.control != watched) continue;
        const auto* help = static_cast<QHelpEvent*>(event);
        const QPoint place =
            tip.options.centred
                ? tip.control->mapToGlobal(QPoint(tip.control->width() / 2, tip.control->height()))
                : help->globalPos();
        QToolTip::showText(place, tip.text, tip.control);
        return true;
    }
    return false;
}

}  // namespace tarvo
