// The live loudness meter and the silence alarm's band, as the view of the studio's programme
// watch: the watch measures on its worker thread (with or without the window) and reports; the
// window shows the reading and the alarm as last reported. The figures of the selected slot's
// file, as the studio's take measurer keeps them.
#include "app/Application.h"
#include "core/ProgramSettings.h"
#include "core/TimeText.h"
#include "audio/widgets/LoudnessPanel.h"
#include "wavefiles/frmWaveFiles.h"
#include "wavefiles/SortedListBox.h"
#include "store/TakeFiguresStore.h"
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
    Loudness1->showReading(watch.reading(), watch.isLive());
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
    lblSilence->setToolTip(lblSilence->text()); // a long file name may not fit the band
    lblSilence->setVisible(true);
}

namespace {

QString figure(const std::optional<double>& value)
{
    return value ? audio::LoudnessPanel::lufsText(*value) : QStringLiteral("--.-");
}

} // namespace

void frmWaveFiles::followFigures(int slot)
{
    if (slot > 0 && slot == fields().SelectedSlot && lstSoundFile->selectedRow() >= 0)
        showFigures(slot);
}

void frmWaveFiles::showFigures(int slot)
{
    std::optional<store::TakeFigures> f;
    try {
        f = studio_.figures().current(slot, library().slotFileNative(slot));
    } catch (const Failure&) {
    }
    if (!f) {
        lblFigures->setText(studio_.measurer().isPending(slot) ? QStringLiteral("measuring...") : QString());
        lblFigures->setToolTip({});
        return;
    }
    if (!f->measured()) {
        lblFigures->setText(QStringLiteral("not measurable"));
        lblFigures->setToolTip(QStringLiteral("The file could not be read"));
        return;
    }
    lblFigures->setText(QStringLiteral("%1 LUFS  LRA %2  TP %3 dBTP")
                            .arg(figure(f->integratedLufs), figure(f->lraLu), figure(f->truePeakDbtp)));
    lblFigures->setToolTip(QStringLiteral("Peak %1 dBFS, longest silence %2 s")
                               .arg(figure(f->peakDbfs))
                               .arg(f->longestSilenceS.value_or(0.0), 0, 'f', 1));
}

} // namespace tamblor
