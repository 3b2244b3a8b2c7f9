#pragma once
// How every window makes its controls: each one a child of its parent, carrying the name the
// code and the tests find it by, and its caption. The window lays them out afterwards.
#include <QString>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QWidget;

namespace tamblor::controls {

QPushButton* button(QWidget* parent, const QString& name, const QString& caption);
QLabel* label(QWidget* parent, const QString& name, const QString& caption = {});
QCheckBox* checkBox(QWidget* parent, const QString& name, const QString& caption);
QRadioButton* option(QWidget* parent, const QString& name, const QString& caption);
QLineEdit* textBox(QWidget* parent, const QString& name);
QListWidget* listBox(QWidget* parent, const QString& name);
QGroupBox* frame(QWidget* parent, const QString& name, const QString& caption = {});

// Names any other widget or object (a window's own list class, a meter, a timer).
template <class T> T* named(T* object, const QString& name)
{
    object->setObjectName(name);
    return object;
}

} // namespace tamblor::controls
