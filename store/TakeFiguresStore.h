#pragma once
// The measured figures of the take in each slot (peak, loudness, range, true peak, longest
// silence), kept in the program's database with the size and modification time of the file
// they were measured from: figures whose file has changed since (a normalize, a cut, a new take)
// are stale, and current() does not return them.
//
// May be used from a worker thread (the connection is serialized); figuresChanged is then
// delivered to receivers in their own thread.
#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>

namespace tamblor::store {

class ProgramDatabase;

struct TakeFigures {
    int slot = 0;
    // What the figures were measured from: the file's size in bytes and its modification time
    // (ms since 1970, UTC).
    int64_t fileSize = 0;
    int64_t fileMtimeMs = 0;
    std::optional<double> peakDbfs;
    std::optional<double> integratedLufs;
    std::optional<double> lraLu;
    std::optional<double> truePeakDbtp;
    std::optional<double> longestSilenceS;
    int64_t measuredAtMs = 0; // ms since 1970, UTC

    bool measuredFrom(int64_t size, int64_t mtimeMs) const { return fileSize == size && fileMtimeMs == mtimeMs; }
    bool operator==(const TakeFigures&) const = default;
};

class TakeFiguresStore : public QObject {
    Q_OBJECT
public:
    explicit TakeFiguresStore(ProgramDatabase& database, QObject* parent = nullptr);

    // Stores the figures of a slot, replacing what it had. Throws Failure (also when closed).
    void store(const TakeFigures& figures);
    // The figures last stored for a slot, whatever file they were measured from; nothing while
    // the database is closed.
    std::optional<TakeFigures> find(int slot) const;
    // The figures of a slot if they were measured from the file as it is now (its native path);
    // nothing when the file is missing or has changed since.
    std::optional<TakeFigures> current(int slot, const QString& nativePath) const;
    // Forgets a slot's figures (the slot was freed). Nothing happens while closed.
    void remove(int slot);

    // The size and modification time of a file as the figures record them (nothing if missing).
    struct FileKey {
        int64_t size = 0;
        int64_t mtimeMs = 0;
    };
    static std::optional<FileKey> keyOf(const QString& nativePath);

signals:
    void figuresChanged(int slot);

private:
    ProgramDatabase& database_;
};

} // namespace tamblor::store
