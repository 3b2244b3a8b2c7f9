// The live loudness meter and the silence alarm's band, as the view of the studio's programme
// watch: the watch measures (with or without the window), the window shows.
#include "app/Application.h"
#include "app/ProgramSettings.h"
#include "app/TimeText.h"
#include "audio/widgets/LoudnessPanel.h"
#include "library/window/frmWaveFiles.h"
#include <QFileInfo>
#include <QLabel>
#include <cmath>

namespace tamblor {

void frmWaveFiles::takeLoudnessPreferences()
{
    const LoudnessPreferences p = ProgramSettings(app().drives()).loudness();
    Loudness1->setScale(p.meterScale);
    Loudness1->setCeiling(p.truePeakCeilingDbtp);
}

void frmWaveFiles::showProgramme()
{
    ProgrammeWatch& watch = studio_.watch();
    Loudness1->showReading(watch.reading(), watch.source() != ProgrammeWatch::Source::None);
    const SilenceAlarm& alarm = watch.alarm();
    if (!alarm.isRaised()) {
        lblSilence->setVisible(false);
        return;
    }
    const QString where =
        alarm.slot() > 0 ? QStringLiteral("slot %1").arg(alarm.slot()) : QFileInfo(alarm.file()).fileName();
    const QString level = std::isfinite(alarm.levelDbfs())
                              ? QStringLiteral("level %1 dBFS").arg(SilenceAlarm::levelText(alarm.levelDbfs()))
                              : QStringLiteral("no signal");
    lblSilence->setText(QStringLiteral("SILENCE  %1   %2   %3")
                            .arg(secondsToTimeText(int32_t(std::floor(alarm.silentSeconds()))).trimmed(), where, level));
    lblSilence->setVisible(true);
}

} // namespace tamblor
