#pragma once
// The one way a window colours a button: a flat face of that colour, with a caption that stays
// readable on it, painted alike by every widget style (a palette colour is only a hint that
// some styles shade or ignore).
class QAbstractButton;
class QColor;

namespace tamblor {

void setButtonColour(QAbstractButton* button, const QColor& colour);

// The colour the operator sees on the button's face: the button is painted and the face read
// beside its caption. A button coloured any other way reads as whatever that way paints.
QColor buttonColour(const QAbstractButton* button);

} // namespace tamblor
