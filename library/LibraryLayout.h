#pragma once
// Where the sound library lies and how its files are named: the one place that knows the
// slot <-> file name rule, the index path, the largest slot number, the default name and date
// of a take, and which files are the library's own. The record widths are IndexRecord's.
#include <QDate>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace tamblor {

namespace LibraryLayout {

inline constexpr int MaxSlots = 900;
inline constexpr const char* LimitMessage = "Maximum Number of Sound Files is 900.";

// The index, always on drive C.
inline constexpr const char* IndexDosPath = "c:\\Tamblor\\Schedule.dat";
inline constexpr const char* IndexFileName = "Schedule.dat";
inline constexpr const char* SettingsFileName = "MyComp.ini";

// "SF0005.wav"
QString slotFileName(int32_t slot);
// "C:\Tamblor\SF0005.wav" for slot 5 on library drive "C".
QString slotFilePath(const QString& driveLetter, int32_t slot);
// The folder of the sound files on the library drive ("D:\Tamblor"), and the one of the index
// and settings ("c:\Tamblor").
QString soundFolder(const QString& driveLetter);
QString indexFolder();
// The slot a file name stands for ("sf0012.WAV" -> 12), 0 when it is no slot file's name.
int32_t slotOfFileName(const QString& fileName);
// A take that is to replace a fixed slot's file is written beside the slots, never in one of
// them: "SF0005.NEW" for slot 5. No slot is named by it (slotOfFileName gives 0), so nothing
// that lists or maintains slots sees it.
QString workingTakeFileName(int32_t slot);
// The fixed slot a working take's file name is for ("sf0005.new" -> 5), 0 for any other name.
int32_t slotOfWorkingTakeName(const QString& fileName);
// A take that did not replace its fixed slot and found no free slot is kept beside the library
// as a wave file of its own: "TK0005_1.wav", the first unused n for slot 5.
QString keptTakeFileName(int32_t slot, int n);
// True for a name the library keeps in its folders: a slot file, a working or kept take, the
// index or the settings (compared without regard to case).
bool isLibraryFileName(const QString& fileName);

// "(No Name 005 ****)"
QString defaultName(int32_t slot);
// "12-05-26" for 5 December 2026: month, day and the year's last two digits.
QString recordDateText(const QDate& day);

} // namespace LibraryLayout

} // namespace tamblor
