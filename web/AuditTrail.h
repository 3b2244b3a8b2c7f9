#pragma once
// What was done through the web server, in the program's database (table web_audit): every
// operator action and every download, with its time, the name of the token it was done with and
// the client's address. Written on the user-interface thread, where the database is used.
#include <QString>
#include <vector>

namespace tamblor::store {
class ProgramDatabase;
}

namespace tamblor::web {

struct AuditRow {
    qint64 atMs = 0;
    QString tokenName; // "(none)" for a page viewed without a token
    QString address;
    QString action;    // "download", "listen", "record start", "record stop", "record now"
    QString detail;    // the slot, the event, and how the action ended
    bool operator==(const AuditRow&) const = default;
};

class AuditTrail {
public:
    explicit AuditTrail(store::ProgramDatabase& database) : database_(database) {}
    // Throws Failure when the database cannot be written or is closed.
    void append(const AuditRow& row);
    // The newest rows first.
    std::vector<AuditRow> latest(int limit = 100) const;

private:
    store::ProgramDatabase& database_;
};

} // namespace tamblor::web
