#include "browse/DriveList.h"
#include "platform/DriveMap.h"

namespace tamblor {

DriveList::DriveList(const DriveMap& drives, QWidget* parent) : QComboBox(parent), drives_(drives)
{
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!filling_ && index >= 0)
            emit driveChanged();
    });
    refresh();
    setDrive("c");
}

void DriveList::refresh()
{
    const QString keep = drive();
    filling_ = true;
    clear();
    for (QChar letter : drives_.drives())
        addItem(QString(letter.toLower()) + ':', QString(letter.toUpper()));
    const int at = keep.isEmpty() ? -1 : findData(keep.left(1).toUpper());
    setCurrentIndex(at >= 0 ? at : (count() > 0 ? 0 : -1));
    filling_ = false;
}

void DriveList::showPopup()
{
    if (refreshOnOpen_)
        refresh();
    QComboBox::showPopup();
}

QString DriveList::drive() const
{
    return currentIndex() < 0 ? QString() : itemText(currentIndex());
}

bool DriveList::setDrive(const QString& drive)
{
    if (drive.isEmpty())
        return false;
    const int at = findData(QString(drive[0].toUpper()));
    if (at < 0)
        return false;
    setCurrentIndex(at); // emits driveChanged() through currentIndexChanged when it moves
    return true;
}

} // namespace tamblor
