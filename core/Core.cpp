#include "core/Core.h"
#include "audio/devices/AudioBackend.h"
#include "core/Initialize.h"
#include "core/SettingsFile.h"
#include <algorithm>

namespace tamblor {

Core::Core(const QString& root)
    : drives_(root.isEmpty() ? DriveMap::defaultRoot() : root), audio_(audio::createAudioBackend()),
      notices_(clock_)
{
}

Core::~Core() { ending_ = true; }

void Core::addStartStep(std::function<void()> step)
{
    if (started_)
        step();
    startSteps_.push_back(std::move(step));
}

void Core::startUp()
{
    InitializeApplication(drives_, state_);
    for (const auto& step : startSteps_)
        step();
    started_ = true;
}

void Core::setRecordLevel(int level)
{
    state_.RecordLevel = std::clamp(level, 0, 32768);
    emit recordLevelChanged(state_.RecordLevel);
    SettingsFile settings(drives_);
    settings.open();
    settings.write(SettingsRecord::RecordLevel, int16_t(std::min(state_.RecordLevel, 32767)));
    settings.close();
}

void Core::endProgram()
{
    if (ending_)
        return;
    ending_ = true;
    emit programEnding();
    closeBeforeEnd();
    emit programEnded();
}

} // namespace tamblor
