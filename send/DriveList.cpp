#include "send/DriveList.h"
#include "platform/DriveMap.h"
#include <QSignalBlocker>

namespace tamblor::send {

DriveList::DriveList(const DriveMap& drives, QWidget* parent) : QComboBox(parent), drives_(drives)
{
    refresh();
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            emit driveChanged(drive());
    });
}

void DriveList::refresh()
{
    const QSignalBlocker block(this);
    const QString current = drive();
    clear();
    for (QChar letter : drives_.drives())
        addItem(QString(letter.toLower()) + ':');
    const int at = findText(current);
    setCurrentIndex(at >= 0 ? at : (count() > 0 ? 0 : -1));
}

void DriveList::showPopup()
{
    refresh();
    QComboBox::showPopup();
}

bool DriveList::setDrive(QChar letter)
{
    const int at = findText(QString(letter.toLower()) + ':');
    if (at < 0)
        return false;
    const QSignalBlocker block(this);
    setCurrentIndex(at);
    return true;
}

} // namespace tamblor::send
