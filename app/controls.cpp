#include "app/controls.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QMovie>
#include <QPainter>
#include <QPalette>
#include <QWindow>
#include <limits>

namespace tarvo {
namespace {

void FillWhite(QWidget& widget) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, kBackgroundColour);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

}  // namespace

void WindowDrag::Press(QWidget& area, const QMouseEvent& event) {
    if (event.button() != Qt::LeftButton) return;
    QWidget* window = area.window();
    QWindow* handle = window->windowHandle();
    if (handle != nullptr && handle->startSystemMove()) return;
    offset_ = event.globalPosition().toPoint() - window->pos();
}

void WindowDrag::Move(QWidget& area, const QMouseEvent& event) {
    if (!offset_ || !(event.buttons() & Qt::LeftButton)) return;
    area.window()->move(event.globalPosition().toPoint() - *offset_);
}

PictureBox::PictureBox(QWidget* parent) : QLabel(parent) {
    setFrameShape(QFrame::NoFrame);
    setScaledContents(true);
}

void PictureBox::SetPicture(const QString& resource) {
    setPixmap(QPixmap(resource));
}

void PictureBox::SetAnimation(const QString& resource) {
    auto* animation = new QMovie(resource, {}, this);
    setMovie(animation);
    animation->start();
}

void PictureBox::SetPlainWhite() {
    FillWhite(*this);
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    drag_.Press(*this, *event);
}
void PictureBox::mouseMoveEvent(QMouseEvent* event) {
    drag_.Move(*this, *event);
}
void PictureBox::mouseReleaseEvent(QMouseEvent*) {
    drag_.Release();
}

ShapeBox::ShapeBox(QWidget* parent) : QWidget(parent) {}

void ShapeBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kAccentColour);
}

void ShapeBox::mousePressEvent(QMouseEvent* event) {
    drag_.Press(*this, *event);
}
void ShapeBox::mouseMoveEvent(QMouseEvent* event) {
    drag_.Move(*this, *event);
}
void ShapeBox::mouseReleaseEvent(QMouseEvent*) {
    drag_.Release();
}

PictureButton::PictureButton(QWidget* parent) : QAbstractButton(parent) {
    // A picture button never takes the focus from the box the user is typing in.
    setFocusPolicy(Qt::NoFocus);
}

void PictureButton::SetPictures(const QString& picture, const QString& hoverPicture) {
    picture_ = QPixmap(picture);
    hoverPicture_ = hoverPicture.isEmpty() ? QPixmap() : QPixmap(hoverPicture);
    update();
}

const QPixmap& PictureButton::CurrentPicture() const {
    return hovered_ && !hoverPicture_.isNull() ? hoverPicture_ : picture_;
}

void PictureButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect(), CurrentPicture());
}

void PictureButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void PictureButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

EditBox::EditBox(QWidget* parent) : QLineEdit(parent), standard_(palette()) {
    setFrame(false);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setMaxLength(std::numeric_limits<int>::max());
    QPalette colours = palette();
    colours.setColor(QPalette::Base, kBackgroundColour);
    setPalette(colours);
    SetTextColour(kInitialTextColour);
    ShowSelection(false);
}

void EditBox::SetTextColour(const QColor& colour) {
    QPalette colours = palette();
    colours.setColor(QPalette::Text, colour);
    setPalette(colours);
    ShowSelection(selectionShown_);
}

QColor EditBox::TextColour() const {
    return palette().color(QPalette::Text);
}

void EditBox::focusInEvent(QFocusEvent* event) {
    ShowSelection(true);
    QLineEdit::focusInEvent(event);
    emit focusGained();
}

void EditBox::focusOutEvent(QFocusEvent* event) {
    ShowSelection(false);
    QLineEdit::focusOutEvent(event);
    emit focusLost();
}

// The selection is kept while the box has no focus, only not drawn: its highlight takes
// the colours of plain text.
void EditBox::ShowSelection(bool shown) {
    selectionShown_ = shown;
    QPalette colours = palette();
    const QPalette& standard = standard_;
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        colours.setColor(group, QPalette::Highlight,
                         shown ? standard.color(group, QPalette::Highlight) : kBackgroundColour);
        colours.setColor(group, QPalette::HighlightedText,
                         shown ? standard.color(group, QPalette::HighlightedText)
                               : colours.color(group, QPalette::Text));
    }
    setPalette(colours);
}

Hyperlink::Hyperlink(const QString& caption, QWidget* parent) : QWidget(parent), caption_(caption) {
    FillWhite(*this);
    setCursor(Qt::PointingHandCursor);
}

QColor Hyperlink::CaptionColour() const {
    if (hovered_) return kHoverLinkColour;
    return opened_ ? kOpenedLinkColour : kAccentColour;
}

void Hyperlink::MarkOpened() {
    opened_ = true;
    update();
}

void Hyperlink::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(CaptionColour());
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, caption_);
}

void Hyperlink::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QWidget::enterEvent(event);
}

void Hyperlink::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QWidget::leaveEvent(event);
}

void Hyperlink::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit openRequested();
}

}  // namespace tarvo
