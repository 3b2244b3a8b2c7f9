#pragma once
// Pumps a file reader's audio down a conversion chain as a job on a worker thread. The started
// and finished signals reach the receiver's (the user-interface) thread; the reader's position
// and length show the progress meanwhile.
#include "audio/files/AudioFileReader.h"
#include "audio/files/ChainLink.h"
#include "audio/jobs/Job.h"
#include "platform/Failure.h"
#include <QObject>
#include <QString>
#include <optional>

namespace tamblor::audio {

class TriggerPump : public QObject {
    Q_OBJECT
public:
    TriggerPump(AudioFileReader& reader, const ChainLinks& links, QObject* parent = nullptr);
    ~TriggerPump() override;

    // The first link by name ("WaveFile" or "ACMConverter").
    void setOutput(const QString& name) { output_ = name; }
    QString output() const { return output_; }
    // Bytes of source audio decoded per step (rounded down to whole frames); a copy moves
    // larger pieces.
    void setBufferSize(int bytes) { bufferSize_ = bytes; }
    int bufferSize() const { return bufferSize_; }

    // The format the chain will write for the reader's file. Throws Failure.
    WaveFormat destinationFormat() const;

    // Opens the chain (files are created here, so a refused file throws Failure at once) and
    // starts moving data. Emits started() and, when all data is through, finished().
    void start();
    // Ends a run early (the files keep what was written) and waits for the worker; a run that
    // is stopped emits no finished(). Safe to call at any time, also from finished().
    void stop();
    bool isRunning() const { return job_.isRunning(); }
    // The job the pump runs as.
    jobs::Job& job() { return job_; }
    // The failure that ended the last run, if one did.
    const std::optional<Failure>& failure() const { return failure_; }

signals:
    void started();
    void finished();

private:
    void run(ChainLink* first, bool copy, int64_t framesPerStep, int channels, jobs::JobControl& job);

    AudioFileReader& reader_;
    const ChainLinks& links_;
    QString output_ = QStringLiteral("WaveFile");
    int bufferSize_ = 32768;
    jobs::Job job_;
    std::optional<Failure> failure_;
};

} // namespace tamblor::audio
