// What every borderless window of the tool shares: the transparent window
// colour cut out of its background picture, dragging by the background,
// flat picture buttons whose picture colour 5526613 is see-through, and the
// "exit" hook that fires when a control hands the focus to another control.
#pragma once

#include <QLabel>
#include <QPixmap>
#include <QToolButton>
#include <functional>

namespace kestrova::ui {

// Colours are given as colour numbers 0x00BBGGRR (red in the low byte).
QColor ColourFromNumber(int number);

constexpr int kWindowTransparentColour = 5243392;   // background pictures
constexpr int kButtonTransparentColour = 5526613;   // picture buttons

// Cuts the window-colour parts of background out of window's shape.
void ApplyWindowShape(QWidget* window, const QPixmap& background);

// A mouse-down with any button on handle moves window with the pointer.
void MakeDragHandle(QWidget* handle, QWidget* window);

// A picture that fills a part of a window (MakeDragHandle makes it drag).
QLabel* MakePicture(QWidget* parent, const QPixmap& picture, const QRect& geometry);

// A flat button showing a picture. It never takes the focus, so the field
// being edited keeps it (and its exit handler does not run).
class PictureButton : public QToolButton {
  Q_OBJECT

 public:
  PictureButton(QWidget* parent, const QPixmap& picture, const QRect& geometry);
  // Pixels of this colour in the picture become see-through.
  void setTransparentColour(int colourNumber);

 private:
  QPixmap picture_;
};

// Runs handler when widget loses the focus to another control of the same
// window (not when the whole window loses it).
void OnExit(QWidget* widget, std::function<void()> handler);

}  // namespace kestrova::ui
