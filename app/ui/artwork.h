// The tool's pictures, painted at start-up: window backgrounds, the banner,
// picture buttons. Painting them keeps the source tree free of binary art
// and lets every window get a picture of exactly its size.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

namespace kestrova::ui::artwork {

// A window background with rounded corners; the corners are the transparent
// window colour, so the window's shape follows the picture.
QPixmap WindowBackground(QSize size, const QString& title);

// The light background of a panel or strip inside a window.
QPixmap PanelBackground(QSize size);

// The main window's top banner with the product name.
QPixmap Banner(QSize size, const QString& title, const QString& subtitle);

// A picture button: a rounded face on the transparent button colour.
QPixmap ButtonPicture(QSize size, const QString& text, const QColor& face);

// The small "close" box at the top right of a window.
QPixmap CloseBox(QSize size);

// A colour sample for the title-bar colour pictures.
QPixmap Swatch(QSize size, const QColor& colour);

// Face colours of the picture buttons.
QColor AccentBlue();
QColor AccentGreen();
QColor AccentGrey();
QColor AccentRed();

}  // namespace kestrova::ui::artwork
