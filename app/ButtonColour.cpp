#include "app/ButtonColour.h"
#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <QPixmap>
#include <algorithm>

namespace tamblor {

void setButtonColour(QAbstractButton* button, const QColor& colour)
{
    // A coloured button keeps the width the widget style gave it, so it stands as wide as its
    // uncoloured neighbours; its height follows the frame drawn below.
    if (button->styleSheet().isEmpty())
        button->setMinimumWidth(std::max(button->minimumWidth(), button->sizeHint().width()));
    const QColor text = colour.lightness() < 110 ? Qt::white : Qt::black;
    // Once a style sheet gives the face a colour the style no longer draws a frame, so the
    // sheet draws one; focus shows as a darker, wider frame.
    button->setStyleSheet(QString("QAbstractButton { background-color: %1; color: %2; border: 1px solid #606060;"
                                  " border-radius: 3px; padding: 4px 10px; }"
                                  " QAbstractButton:focus { border: 2px solid #1f4e9c; }"
                                  " QAbstractButton:disabled { color: #808080; }")
                              .arg(colour.name(), text.name()));
}

QColor buttonColour(const QAbstractButton* button)
{
    // Inside the widest frame and the rounded corners, left of where any caption starts.
    const QImage face = const_cast<QAbstractButton*>(button)->grab().toImage();
    if (face.width() < 6 || face.height() < 6)
        return {};
    return face.pixelColor(4, face.height() / 2);
}

} // namespace tamblor
