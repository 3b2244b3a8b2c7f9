#include "web/AuditTrail.h"
#include "store/ProgramDatabase.h"

namespace tamblor::web {

void AuditTrail::append(const AuditRow& row)
{
    store::Statement s = database_.connection().prepare(
        store::insertSql("web_audit", {"at", "token_name", "address", "action", "detail"}));
    s.bind(1, row.atMs).bind(2, row.tokenName).bind(3, row.address).bind(4, row.action).bind(5, row.detail);
    s.run();
}

std::vector<AuditRow> AuditTrail::latest(int limit) const
{
    std::vector<AuditRow> out;
    if (!database_.isOpen())
        return out;
    store::Statement s = database_.connection().prepare(
        "SELECT at, token_name, address, action, detail FROM web_audit ORDER BY id DESC LIMIT ?1");
    s.bind(1, limit);
    while (s.step())
        out.push_back({s.int64At(0), s.textAt(1), s.textAt(2), s.textAt(3), s.textAt(4)});
    return out;
}

} // namespace tamblor::web
