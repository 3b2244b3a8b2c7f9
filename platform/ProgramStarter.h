#pragma once
// Starts another program as a separate process, in its own normal window. Windows that start
// programs hold one of these so that tests can record the start instead of making it.
#include <QString>
#include <QStringList>
#include <vector>

namespace tamblor {

class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    // False when the program could not be started.
    virtual bool start(const QString& program, const QStringList& arguments = {}) = 0;
};

class ProcessStarter : public ProgramStarter {
public:
    bool start(const QString& program, const QStringList& arguments = {}) override;
};

// Remembers what it was asked to start and answers with `succeeds`.
class RecordingStarter : public ProgramStarter {
public:
    struct Started {
        QString program;
        QStringList arguments;
    };
    bool start(const QString& program, const QStringList& arguments = {}) override
    {
        started.push_back({program, arguments});
        return succeeds;
    }
    std::vector<Started> started;
    bool succeeds = true;
};

} // namespace tamblor
