#pragma once
// The web server's tokens in the program's database (table web_tokens): each with a name (the
// person or script it was made for), a role, an expiry and a revoked mark, and only the hash of
// the token itself. Used on the user-interface thread; the server's threads check tokens against
// the copy that the web service hands them (see Credentials).
#include <QObject>
#include <QString>
#include <optional>
#include <vector>

namespace tamblor::store {
class ProgramDatabase;
}

namespace tamblor::web {

// A viewer sees every page, listens and downloads; an operator also starts and stops takes.
enum class Role { Viewer, Operator };
QString roleText(Role role);
std::optional<Role> roleFromText(const QString& text);

struct TokenRecord {
    qint64 id = 0;
    QString name;
    Role role = Role::Viewer;
    QByteArray hash; // SHA-256 of the token, lower-case hex
    qint64 createdAtMs = 0;
    qint64 expiresAtMs = 0;
    bool revoked = false;

    bool validAt(qint64 nowMs) const { return !revoked && nowMs < expiresAtMs; }
    bool operator==(const TokenRecord&) const = default;
};

class TokenStore : public QObject {
    Q_OBJECT
public:
    explicit TokenStore(store::ProgramDatabase& database, QObject* parent = nullptr);

    struct Made {
        TokenRecord record;
        QByteArray token; // shown once; never stored
    };
    // A new token for `name` (not empty). Throws Failure when the database cannot be written or
    // is closed, std::runtime_error when the random source fails.
    Made make(const QString& name, Role role, qint64 nowMs, qint64 expiresAtMs);
    // Every token, newest first (empty while the database is closed).
    std::vector<TokenRecord> all() const;
    // Throws Failure when the database cannot be written.
    void revoke(qint64 id);

signals:
    // A token was made or revoked.
    void changed();

private:
    store::ProgramDatabase& database_;
};

} // namespace tamblor::web
