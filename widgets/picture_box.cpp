#include "widgets/picture_box.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace zindrel {

namespace {

int16_t ButtonMask(Qt::MouseButtons buttons) {
  int mask = 0;
  if (buttons & Qt::LeftButton) mask |= 1;
  if (buttons & Qt::RightButton) mask |= 2;
  if (buttons & Qt::MiddleButton) mask |= 4;
  return static_cast<int16_t>(mask);
}

int16_t ShiftMask(Qt::KeyboardModifiers modifiers) {
  int mask = 0;
  if (modifiers & Qt::ShiftModifier) mask |= 1;
  if (modifiers & Qt::ControlModifier) mask |= 2;
  if (modifiers & Qt::AltModifier) mask |= 4;
  return static_cast<int16_t>(mask);
}

}  // namespace

FrameBox::FrameBox(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(2);
  setFocusPolicy(Qt::TabFocus);
  inner_ = new QWidget(this);
  inner_->setGeometry(contentsRect());
}

void FrameBox::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  inner_->setGeometry(contentsRect());
}

PictureBox::PictureBox(QSize emptySize, QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::TabFocus);
  resize(emptySize);
  // The empty box reads as its background colour, like the painted box.
  QImage empty(emptySize, QImage::Format_RGB32);
  empty.fill(palette().color(QPalette::Button));
  pixels_ = ImagePixelSource(std::move(empty));
  Place();
}

void PictureBox::SetPicture(QImage picture) {
  pixels_ = ImagePixelSource(std::move(picture));
  hasPicture_ = true;
  resize(pixels_.Width(), pixels_.Height());
  update();
}

void PictureBox::SetLeft(float v) {
  left_ = v;
  Place();
}

void PictureBox::SetTop(float v) {
  top_ = v;
  Place();
}

void PictureBox::Place() { move(static_cast<int>(std::lround(left_)), static_cast<int>(std::lround(top_))); }

void PictureBox::SetMousePointer(int pointer) {
  mousePointer_ = pointer;
  setCursor(pointer == kPointerMove ? Qt::SizeAllCursor : Qt::ArrowCursor);
}

void PictureBox::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QRect area = event->rect();
  if (hasPicture_)
    painter.drawImage(area.topLeft(), pixels_.image(), area);
  else
    painter.fillRect(area, palette().color(QPalette::Button));
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
  const QPointF at = event->position();
  emit MouseDown(ButtonMask(event->button()), ShiftMask(event->modifiers()), static_cast<float>(at.x()),
                 static_cast<float>(at.y()));
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
  const QPointF at = event->position();
  emit MouseMove(ButtonMask(event->buttons()), ShiftMask(event->modifiers()), static_cast<float>(at.x()),
                 static_cast<float>(at.y()));
}

}  // namespace zindrel
