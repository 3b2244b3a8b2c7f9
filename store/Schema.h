#pragma once
// The tables of the program's database and the steps that bring an older file up to date. The
// version is the file's user_version; step n turns version n into n + 1 and runs in the same
// transaction as the version's change, so a file is always at one whole version.
#include <QString>
#include <QStringList>

namespace tamblor::store {

class SqliteConnection;

namespace Schema {

// "Tamb": marks a file as this program's database (its application_id).
inline constexpr int ApplicationId = 0x54616d62;

// The steps in order; the current version is their count.
const QStringList& migrations();
int currentVersion();

// Brings an empty file or one of an older version to the current version. Throws Failure.
void migrate(SqliteConnection& connection);
// The same for another database's steps (the current version is their count).
void migrate(SqliteConnection& connection, const QStringList& steps);

} // namespace Schema

} // namespace tamblor::store
