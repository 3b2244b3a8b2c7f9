#include "web/TokenStore.h"
#include "store/ProgramDatabase.h"
#include "web/AccessToken.h"

namespace tamblor::web {

QString roleText(Role role)
{
    return role == Role::Operator ? "operator" : "viewer";
}

std::optional<Role> roleFromText(const QString& text)
{
    if (text == "operator")
        return Role::Operator;
    if (text == "viewer")
        return Role::Viewer;
    return std::nullopt;
}

TokenStore::TokenStore(store::ProgramDatabase& database, QObject* parent) : QObject(parent), database_(database) {}

TokenStore::Made TokenStore::make(const QString& name, Role role, qint64 nowMs, qint64 expiresAtMs)
{
    Made made;
    made.token = AccessToken::make();
    made.record.name = name.trimmed();
    made.record.role = role;
    made.record.hash = AccessToken::hashOf(made.token);
    made.record.createdAtMs = nowMs;
    made.record.expiresAtMs = expiresAtMs;
    auto& c = database_.connection();
    store::Statement s = c.prepare(
        store::insertSql("web_tokens", {"name", "role", "hash", "created_at", "expires_at", "revoked"}));
    s.bind(1, made.record.name)
        .bind(2, roleText(role))
        .bind(3, QString::fromLatin1(made.record.hash))
        .bind(4, nowMs)
        .bind(5, expiresAtMs)
        .bind(6, 0);
    s.run();
    made.record.id = c.lastInsertId();
    emit changed();
    return made;
}

std::vector<TokenRecord> TokenStore::all() const
{
    std::vector<TokenRecord> out;
    if (!database_.isOpen())
        return out;
    store::Statement s = database_.connection().prepare(
        "SELECT id, name, role, hash, created_at, expires_at, revoked FROM web_tokens ORDER BY id DESC");
    while (s.step()) {
        TokenRecord r;
        r.id = s.int64At(0);
        r.name = s.textAt(1);
        r.role = roleFromText(s.textAt(2)).value_or(Role::Viewer);
        r.hash = s.textAt(3).toLatin1();
        r.createdAtMs = s.int64At(4);
        r.expiresAtMs = s.int64At(5);
        r.revoked = s.int64At(6) != 0;
        out.push_back(r);
    }
    return out;
}

void TokenStore::revoke(qint64 id)
{
    store::Statement s = database_.connection().prepare("UPDATE web_tokens SET revoked = 1 WHERE id = ?1");
    s.bind(1, id);
    s.run();
    emit changed();
}

} // namespace tamblor::web
