#pragma once
// Keeps the figures of every slot's take current: one reading of the file (TakeReading) in the
// background (one job at a time, in the order asked, with progress and a cancel), stored with
// the slot in the program's database, the longest silence at the preferences' threshold. A take
// recorded by hand is measured when it is completed, whoever ended it; any other slot when it
// is asked for (a file first selected, a file changed since its figures were taken: a
// normalize, a cut). The takes of the record events are not measured here: the take runner
// reads each once and stores its figures itself, and while it holds a slot (see setHeld) the
// slot is left to it. A file that cannot be read (a damaged file) is stored without figures,
// so it is not tried again until it changes. A slot freed, or reserved for a new take, lets go
// of its figures.
#include "audio/jobs/Job.h"
#include <QObject>
#include <QString>
#include <deque>
#include <functional>

namespace tamblor {

class Core;
class RecordingSession;
class SoundLibrary;
namespace store {
class ProgramDatabase;
class TakeFiguresStore;
} // namespace store

class TakeMeasurer : public QObject {
    Q_OBJECT
public:
    TakeMeasurer(Core& app, SoundLibrary& library, RecordingSession& recording,
                 store::ProgramDatabase& database, store::TakeFiguresStore& figures, QObject* parent = nullptr);
    ~TakeMeasurer() override;

    // Measures the slot's file unless its figures are current, it is already waiting or being
    // measured, the slot holds no take, a take is being written to it, or the database is
    // closed (there is nowhere to keep figures).
    void request(int slot);
    // The slot being measured now (0 for none) and whether a slot waits or is being measured.
    int measuring() const { return measuring_; }
    bool isPending(int slot) const;
    // The slots another reader holds (the take runner's): never measured here while held.
    void setHeld(std::function<bool(int slot)> held) { held_ = std::move(held); }

    // Runs every measurement asked for to its end now, delivering what they store (tests, and
    // a program that ends).
    void finishAll();
    // Drops what waits and stops the measurement under way (nothing of it is stored).
    void stopAll();

signals:
    // A measurement began, or ended with its figures stored (or with none for a file that
    // cannot be measured).
    void started(int slot);
    void measured(int slot);

private:
    void startNext();
    void done();

    Core& app_;
    SoundLibrary& library_;
    RecordingSession& recording_;
    store::ProgramDatabase& database_;
    store::TakeFiguresStore& figures_;
    jobs::Job job_;
    std::deque<int> queue_;
    std::function<bool(int)> held_;
    int measuring_ = 0;
};

} // namespace tamblor
