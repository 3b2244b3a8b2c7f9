#include "store/ProgramDatabase.h"
#include "core/Core.h"
#include "store/Schema.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

namespace tamblor::store {

namespace {

// The files SQLite keeps beside a database in WAL mode; they go wherever the database goes.
const char* const Companions[] = {"-wal", "-shm", "-journal"};

QString capitalFirst(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

} // namespace

DatabaseKind DatabaseKind::program()
{
    return {ProgramDatabase::DosPath, Schema::ApplicationId, Schema::migrations(), "The program's database",
            "record events are off", "the record events must be entered again", {}};
}

ProgramDatabase::ProgramDatabase(Core& app, QObject* parent) : ProgramDatabase(app, DatabaseKind::program(), parent) {}

ProgramDatabase::ProgramDatabase(Core& app, DatabaseKind kind, QObject* parent)
    : ProgramDatabase(app, std::move(kind), Access::ReadWrite, parent)
{
}

ProgramDatabase::ProgramDatabase(Core& app, DatabaseKind kind, Access access, QObject* parent)
    : QObject(parent), app_(app), kind_(std::move(kind)), access_(access)
{
    app_.addStartStep([self = QPointer<ProgramDatabase>(this)] {
        if (self)
            self->open();
    });
    connect(&app_, &Core::programEnded, this, &ProgramDatabase::close);
}

ProgramDatabase::~ProgramDatabase() = default;

QString ProgramDatabase::nativePath() const
{
    return app_.drives().toNative(kind_.dosPath);
}

bool ProgramDatabase::fileExists() const
{
    return QFileInfo(nativePath()).isFile();
}

QString ProgramDatabase::dos(const QString& nativePath) const
{
    const QString d = app_.drives().toDos(nativePath);
    return d.isEmpty() ? nativePath : d;
}

SqliteConnection& ProgramDatabase::connection()
{
    if (!connection_)
        throw Failure(Failure::DeviceIOError, Failure::describe(Failure::DeviceIOError) + " (database is not open)");
    return *connection_;
}

void ProgramDatabase::close()
{
    connection_.reset();
}

ProgramDatabase::Verdict ProgramDatabase::examine(const QString& path, QString& reason)
{
    const QFileInfo info(path);
    if (!info.exists() || info.size() == 0)
        return Verdict::Usable;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        reason = Failure(Failure::PermissionDenied).text();
        return Verdict::Unreadable;
    }
    if (file.read(16) != QByteArray("SQLite format 3\0", 16)) {
        reason = "it is not a database";
        return Verdict::Damaged;
    }
    file.close();
    try {
        SqliteConnection probe(path, access_);
        const QString check = probe.queryText("PRAGMA quick_check");
        if (check != "ok") {
            reason = check.section('\n', 0, 0);
            return Verdict::Damaged;
        }
        const int64_t id = probe.queryInt("PRAGMA application_id");
        const int64_t tables = probe.queryInt("SELECT count(*) FROM sqlite_master");
        if (id != kind_.applicationId && tables > 0) {
            reason = "it is a database of another program";
            return Verdict::Foreign;
        }
        const int64_t version = probe.queryInt("PRAGMA user_version");
        if (version > kind_.migrations.size()) {
            reason = "it was written by a newer version of the program";
            return Verdict::Newer;
        }
        if (access_ == Access::ReadOnly && version < kind_.migrations.size()) {
            // Only its own program brings it up to date; a reader waits for that.
            reason = tables == 0 ? "it is being made"
                                 : "it is of an older version, brought up to date when its own program next opens it";
            return Verdict::Older;
        }
    } catch (const Failure& f) {
        reason = f.text();
        if (f.number() == Failure::PermissionDenied || f.number() == Failure::PathFileAccessError)
            return Verdict::Unreadable;
        return Verdict::Damaged;
    }
    return Verdict::Usable;
}

bool ProgramDatabase::moveAside(const QString& path, const QString& kind)
{
    const QString stamp = app_.clock().now().toString("yyyyMMdd-HHmmss");
    QString aside = path + "." + kind + "-" + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = path + "." + kind + "-" + stamp + "-" + QString::number(n);
    if (!QFile::rename(path, aside))
        return false;
    for (const char* companion : Companions) {
        if (QFileInfo::exists(path + companion))
            QFile::rename(path + companion, aside + companion);
    }
    setAside_ = aside;
    return true;
}

void ProgramDatabase::begin(const QString& path)
{
    auto connection = std::make_unique<SqliteConnection>(path);
    if (connection->queryText("PRAGMA journal_mode = WAL").compare("wal", Qt::CaseInsensitive) != 0)
        throw Failure(Failure::DeviceIOError, Failure::describe(Failure::DeviceIOError) +
                                                  " (database: the file system refuses its write-ahead log)");
    connection->exec("PRAGMA synchronous = FULL");
    connection->exec("PRAGMA foreign_keys = ON");
    Schema::migrate(*connection, kind_.migrations);
    if (connection->queryInt("PRAGMA application_id") != kind_.applicationId)
        connection->exec(QString("PRAGMA application_id = %1").arg(kind_.applicationId));
    connection_ = std::move(connection);
}

void ProgramDatabase::tell(const QString& text)
{
    report_ = text;
    app_.notices().tell("database", text, Notice::Severity::Error, nativePath());
}

void ProgramDatabase::openReadOnly(const QString& path, const QString& name)
{
    // Absent: the other program has not run on this root. Nothing to tell.
    if (!QFileInfo(path).isFile()) {
        toldReadOnly_.clear();
        return;
    }
    // Empty, or without its tables yet: the other program is making it this moment.
    const QString beingMade = "it is being made";
    QString reason = QFileInfo(path).size() == 0 ? beingMade : QString();
    if (reason.isEmpty() && examine(path, reason) == Verdict::Usable) {
        try {
            auto connection = std::make_unique<SqliteConnection>(path, Access::ReadOnly);
            connection->queryInt("SELECT count(*) FROM sqlite_master"); // reads the schema now
            connection_ = std::move(connection);
        } catch (const Failure& f) {
            reason = f.description();
        }
    }
    if (connection_) {
        toldReadOnly_.clear();
        emit opened();
        return;
    }
    if (reason == beingMade)
        return;
    // Told once: a file that stays busy or damaged is not told again at every look.
    const QString off = kind_.readerOffText.isEmpty() ? kind_.offText : kind_.readerOffText;
    const QString text =
        kind_.title + " " + name + " could not be read (" + reason + "). It was left as it is; " + off + " until it can be read.";
    report_ = text;
    if (reason != toldReadOnly_) {
        toldReadOnly_ = reason;
        app_.notices().tell("database", text, Notice::Severity::Warning, path);
    }
}

void ProgramDatabase::open()
{
    close();
    report_.clear();
    setAside_.clear();
    const QString path = nativePath();
    const QString name = dos(path);
    if (access_ == Access::ReadOnly) {
        openReadOnly(path, name);
        return;
    }
    const QString untouched = " Recording by hand is not affected.";
    QDir().mkpath(QFileInfo(path).absolutePath());

    QString reason;
    const Verdict verdict = examine(path, reason);
    switch (verdict) {
    case Verdict::Usable: break;
    case Verdict::Unreadable:
    case Verdict::Newer:
    case Verdict::Older:
        tell(kind_.title + " " + name + " could not be opened (" + reason + "). It was left as it is; " +
             kind_.offText + " until it can be opened." + untouched);
        return;
    case Verdict::Damaged:
    case Verdict::Foreign: {
        const QString kind = verdict == Verdict::Damaged ? "damaged" : "foreign";
        if (!moveAside(path, kind)) {
            tell(kind_.title + " " + name + " cannot be read (" + reason + ") and could not be set aside. " +
                 capitalFirst(kind_.offText) + " until it is moved away." + untouched);
            return;
        }
        break;
    }
    }

    try {
        begin(path);
    } catch (const Failure& f) {
        connection_.reset();
        tell(kind_.title + " " + name + " could not be opened: " + f.text() + ". " + capitalFirst(kind_.offText) +
             " until it can be opened." + untouched);
        return;
    }
    if (!setAside_.isEmpty())
        tell(kind_.title + " " + name + " could not be used (" + reason + "). It was set aside as " +
             dos(setAside_) + " and a new, empty one begun: " + kind_.lostText + "." + untouched);
    emit opened();
}

} // namespace tamblor::store
