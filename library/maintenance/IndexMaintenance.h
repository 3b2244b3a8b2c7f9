#pragma once
// The two index commands for slots that a recording reserved and never finished (status "2":
// the program ended while recording).
#include <QString>

namespace tamblor {

class Application;

class IndexMaintenance {
public:
    static constexpr const char* ReportText =
        "The following WaveFiles do not exist but are not available for use:  ";

    explicit IndexMaintenance(Application& app) : app_(app) {}

    // Shows the message window with the report text followed by "n, " for every reserved slot;
    // shows nothing when there is none.
    void ViewFileIndex();
    // Frees every reserved slot, keeping its other fields; shows nothing.
    void DeleteFileIndex();

private:
    Application& app_;
};

} // namespace tamblor
