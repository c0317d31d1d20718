// The kinds of control the main window is built from, on Qt Widgets.
//
// All of them belong to the window's thread. Picture boxes and shape boxes pass a press of
// the left button on to the window, which then moves as if its caption had been pressed.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPixmap>
#include <QPoint>
#include <QWidget>
#include <optional>

class QMouseEvent;
class QMovie;

namespace tarvo {

inline constexpr QColor kAccentColour{247, 77, 103};
inline constexpr QColor kInitialTextColour{128, 128, 128};
inline constexpr QColor kHoverLinkColour{0, 120, 215};
inline constexpr QColor kOpenedLinkColour{247, 77, 103};
inline constexpr QColor kBackgroundColour{255, 255, 255};

// Moves a widget's top-level window while the left button, pressed on that widget, is held.
// The desktop's own move is asked for first; where the desktop offers none (the offscreen
// platform, some Wayland compositors refuse), the window follows the pointer.
class WindowDrag {
  public:
    void Press(QWidget& area, const QMouseEvent& event);
    void Move(QWidget& area, const QMouseEvent& event);
    void Release() { offset_.reset(); }

  private:
    // The pointer's place relative to the window's top-left, while we move it ourselves.
    std::optional<QPoint> offset_;
};

// A borderless box showing a picture drawn scaled to it, an animated picture, or nothing
// but white.
class PictureBox : public QLabel {
  public:
    explicit PictureBox(QWidget* parent);

    // Shows the picture at `resource`, scaled to the box.
    void SetPicture(const QString& resource);
    // Plays the animation at `resource`, scaled to the box, from now on.
    void SetAnimation(const QString& resource);
    // No picture: a plain white box.
    void SetPlainWhite();

    [[nodiscard]] QMovie* Animation() const { return movie(); }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    WindowDrag drag_;
};

// A rectangle filled with the accent colour, without an outline.
class ShapeBox : public QWidget {
  public:
    explicit ShapeBox(QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    WindowDrag drag_;
};

// A button without border or text that shows its picture, and its hover picture (where it
// has one) while the pointer is over it. Both are drawn scaled to the button.
class PictureButton : public QAbstractButton {
  public:
    explicit PictureButton(QWidget* parent);

    void SetPictures(const QString& picture, const QString& hoverPicture = {});

    // The picture the button draws now.
    [[nodiscard]] const QPixmap& CurrentPicture() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    QPixmap picture_;
    QPixmap hoverPicture_;
    bool hovered_ = false;
};

// A single-line, borderless, left-aligned edit box on white, whose selection shows only
// while it has the focus. Reports gaining and losing the focus.
class EditBox : public QLineEdit {
    Q_OBJECT

  public:
    explicit EditBox(QWidget* parent);

    void SetTextColour(const QColor& colour);
    [[nodiscard]] QColor TextColour() const;

  signals:
    void focusGained();
    void focusLost();

  protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void ShowSelection(bool shown);

    QPalette standard_;
    bool selectionShown_ = false;
};

// A caption drawn centred on one line on white, in the accent colour, in the hover colour
// while the pointer is over it, and in the accent colour again once it has been opened. A
// press of the left button asks for it to be opened.
class Hyperlink : public QWidget {
    Q_OBJECT

  public:
    Hyperlink(const QString& caption, QWidget* parent);

    [[nodiscard]] QString Caption() const { return caption_; }
    [[nodiscard]] QColor CaptionColour() const;
    // Called once its address has been handed to the browser.
    void MarkOpened();

  signals:
    void openRequested();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    QString caption_;
    bool hovered_ = false;
    bool opened_ = false;
};

}  // namespace tarvo
