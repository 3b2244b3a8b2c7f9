#pragma once
// The program's own database, "c:\Tamblor\Tamblor.db" beside the index: the record events,
// their runs, the figures of every take and the program's heartbeat. Opened as a start-up step
// in WAL mode with synchronous writes (a run recorded is on the disk when the call returns) and
// brought to the current schema version; closed when the program ends.
//
// A file that is not a readable SQLite database, or one that belongs to something else, is
// never emptied: it is renamed aside ("Tamblor.db.damaged-20261207-080751") with its journal,
// the operator is told where it went, and a new database is begun. A file of a newer version
// of the program is left as it is and the database stays closed. Whatever happens here, the
// program starts and records by hand; the parts that use the database check isOpen().
#include "store/SqliteConnection.h"
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

namespace tamblor {
class Core;
}

namespace tamblor::store {

// Which database a ProgramDatabase opens: the program's own, or another program's on the same
// root (the logger keeps its rows apart, so that neither program sets aside a file the other
// has open).
struct DatabaseKind {
    QString dosPath;
    int applicationId = 0;
    QStringList migrations;
    // How the operator knows it ("The program's database"), what stops while it is closed
    // ("record events are off") and what is lost with a file set aside.
    QString title;
    QString offText;
    QString lostText;
    // What stops in a program that only reads the file (empty: offText).
    QString readerOffText;

    static DatabaseKind program();
};

class ProgramDatabase : public QObject {
    Q_OBJECT
public:
    static constexpr const char* DosPath = "c:\\Tamblor\\Tamblor.db";

    // ReadOnly: another program's database, which that program owns. It is never created,
    // migrated, set aside or written: a missing file is simply closed (no notice), and one that
    // cannot be read as it is (busy, damaged, foreign, of another version) stays closed and is
    // told once, until it opens again or another reason comes up.
    using Access = SqliteConnection::Access;

    // Adds the opening as a start-up step of `app` and closes on programEnded().
    explicit ProgramDatabase(Core& app, QObject* parent = nullptr);
    ProgramDatabase(Core& app, DatabaseKind kind, QObject* parent = nullptr);
    ProgramDatabase(Core& app, DatabaseKind kind, Access access, QObject* parent = nullptr);
    ~ProgramDatabase() override;

    Access access() const { return access_; }
    bool isReadOnly() const { return access_ == Access::ReadOnly; }
    // Read-only: whether the file is there at all (its absence is no fault).
    bool fileExists() const;

    // Opens the file, setting a damaged or foreign one aside first; what the operator must know
    // is shown in the message window and kept in report(). Never throws.
    void open();
    void close();
    bool isOpen() const { return connection_ != nullptr; }
    // The open connection; throws Failure ("database is not open") when closed.
    SqliteConnection& connection();

    QString nativePath() const;
    // The message of the last open() (empty when the file opened as it was).
    const QString& report() const { return report_; }
    // The native path a damaged or foreign file was moved to by the last open() (or empty).
    const QString& setAsidePath() const { return setAside_; }

signals:
    // The database is open and at the current version (after start-up, or a later open()).
    void opened();

private:
    enum class Verdict { Usable, Damaged, Foreign, Newer, Older, Unreadable };
    Verdict examine(const QString& path, QString& reason);
    void openReadOnly(const QString& path, const QString& name);
    bool moveAside(const QString& path, const QString& kind);
    void begin(const QString& path);
    void tell(const QString& text);
    QString dos(const QString& nativePath) const;

    Core& app_;
    DatabaseKind kind_;
    Access access_ = Access::ReadWrite;
    QString toldReadOnly_; // the last problem told of a read-only file
    std::unique_ptr<SqliteConnection> connection_;
    QString report_;
    QString setAside_;
};

} // namespace tamblor::store
