// One tooltip shared by the controls of a window.
//
// Tips are of the standard kind: rectangular, shown whether or not the window is active,
// near the pointer unless asked to be centred under their control, as wide as their own
// lines. Runs on the window's thread.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <vector>

class QWidget;

namespace tarvo {

struct TooltipOptions {
    // A balloon-shaped tip. Qt's tooltip has one shape, so balloon tips show rectangular.
    bool balloon = false;
    // The tip is shown centred under its control rather than near the pointer.
    bool centred = false;
};

class Tooltips : public QObject {
  public:
    struct Tip {
        QPointer<QWidget> control;
        QString text;
        TooltipOptions options;
    };

    explicit Tooltips(QObject* parent) : QObject(parent) {}

    // Shows `text` as the tip of `control` from now on.
    void Add(QWidget* control, const QString& text, TooltipOptions options);

    // Every tip, in the order it was added.
    [[nodiscard]] const std::vector<Tip>& Tips() const { return tips_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::vector<Tip> tips_;
};

}  // namespace tarvo
