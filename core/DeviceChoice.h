#pragma once
// The sound cards the settings choose, kept by number in MyComp.ini (records 1 and 2, their byte
// layout unchanged) and by name in Tamblor.ini. A USB card unplugged or another added moves the
// numbers: at start a number whose card now has another name is found again by name (and the
// number stored anew), and a card that is gone is named to the operator at once, as a lasting
// condition, so that an unattended take never records from whatever card took its number.
#include "core/ProgramSettings.h"
#include <QString>

namespace tamblor {

class Core;

class DeviceChoice {
public:
    using Device = ProgramSettings::Device;

    explicit DeviceChoice(Core& core);

    // At start: each number checked against the name kept beside it. A card found under
    // another number is taken there (MyComp.ini rewritten); a card that is gone is raised as
    // a condition (keyFor()) and its number left as it was. A first start keeps the names.
    void resolve();
    // After the preferences stored new numbers: their names are kept beside them, and a
    // condition about a card that is gone is cleared.
    void remember();

    // Whether the card the settings choose is there under its number now (true when no name
    // was ever kept). Raises the condition when it is not, clears it when it is again.
    bool present(Device device);
    // The name kept for the device ("" when none).
    QString keptName(Device device) const;
    // The condition's key among the notices.
    static QString keyFor(Device device);

private:
    int numberOf(Device device) const;
    void setNumber(Device device, int number);
    int count(Device device) const;
    QString nameAt(Device device, int number) const;
    void raiseGone(Device device, const QString& name, int number);

    Core& core_;
};

} // namespace tamblor
