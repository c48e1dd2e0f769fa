// The picture boxes of the window: PicOut, the sunken frame through which the
// picture is seen, and Pic1, the box inside it that holds the picture and
// reports the mouse. Both use a pixel scale.
#pragma once

#include <QFrame>
#include <QImage>
#include <QWidget>
#include <cstdint>

#include "pictures/picture.h"

namespace zindrel {

// Mouse pointers of a picture box.
constexpr int kPointerArrow = 1;
constexpr int kPointerMove = 5;

class FrameBox : public QFrame {
  Q_OBJECT
 public:
  explicit FrameBox(QWidget* parent = nullptr);
  // Inner size in pixels: the visible window onto the picture.
  float ScaleWidth() const { return static_cast<float>(contentsRect().width()); }
  float ScaleHeight() const { return static_cast<float>(contentsRect().height()); }
  // The inner area, parent of the picture box, clipped inside the border.
  QWidget* Inner() const { return inner_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QWidget* inner_;
};

class PictureBox : public QWidget {
  Q_OBJECT
 public:
  // An empty box of the given size in pixels, showing its background.
  PictureBox(QSize emptySize, QWidget* parent = nullptr);

  // Puts a picture in and, the box being auto-sized, takes its size.
  void SetPicture(QImage picture);
  bool HasPicture() const { return hasPicture_; }

  // Offset in the frame's pixels; kept as 32-bit floats, shown rounded.
  float Left() const { return left_; }
  float Top() const { return top_; }
  void SetLeft(float v);
  void SetTop(float v);
  // Outer and inner size (the box has no border, so they are the same).
  float Width() const { return static_cast<float>(width()); }
  float Height() const { return static_cast<float>(height()); }
  float ScaleWidth() const { return Width(); }
  float ScaleHeight() const { return Height(); }

  int MousePointer() const { return mousePointer_; }
  void SetMousePointer(int pointer);

  // What the conversion reads: the picture, or the empty box's background.
  const PixelSource& Pixels() const { return pixels_; }

 signals:
  // Button: mask of the buttons (1 left, 2 right, 4 middle): for a press the
  // button pressed, for a move the buttons held. Shift: 1 shift, 2 ctrl, 4 alt.
  void MouseDown(int16_t button, int16_t shift, float x, float y);
  void MouseMove(int16_t button, int16_t shift, float x, float y);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  void Place();

  ImagePixelSource pixels_;
  bool hasPicture_ = false;
  float left_ = 0, top_ = 0;
  int mousePointer_ = kPointerArrow;
};

}  // namespace zindrel
