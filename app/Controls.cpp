#include "app/Controls.h"
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

namespace tamblor::controls {

QPushButton* button(QWidget* parent, const QString& name, const QString& caption)
{
    return named(new QPushButton(caption, parent), name);
}

QLabel* label(QWidget* parent, const QString& name, const QString& caption)
{
    return named(new QLabel(caption, parent), name);
}

QCheckBox* checkBox(QWidget* parent, const QString& name, const QString& caption)
{
    return named(new QCheckBox(caption, parent), name);
}

QRadioButton* option(QWidget* parent, const QString& name, const QString& caption)
{
    return named(new QRadioButton(caption, parent), name);
}

QLineEdit* textBox(QWidget* parent, const QString& name) { return named(new QLineEdit(parent), name); }

QListWidget* listBox(QWidget* parent, const QString& name) { return named(new QListWidget(parent), name); }

QGroupBox* frame(QWidget* parent, const QString& name, const QString& caption)
{
    return named(new QGroupBox(caption, parent), name);
}

} // namespace tamblor::controls
