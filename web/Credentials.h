#pragma once
// Who a request comes from, decided on the server's threads: the tokens (a copy of their
// records, handed over by the user-interface thread whenever they change), the browsers' sessions
// signed in with a token, and the failed attempts of each address. Thread-safe.
//
// A session lasts SessionMs at most and never past its token: revoking or the expiry of the
// token ends it at once. Each session has its own CSRF secret, which every operator action from
// a browser must carry. An address with FailuresAllowed failed attempts within FailureWindowMs is
// refused until that window has passed.
#include "web/TokenStore.h"
#include <QByteArray>
#include <QString>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace tamblor::web {

struct Identity {
    QString name;
    Role role = Role::Viewer;
    // A page viewed without a token (when the settings allow it).
    bool anonymous = false;
    // The session's CSRF secret (empty for a bearer token or no token: a browser does not send
    // either by itself, so no forged form can carry one).
    QByteArray csrf;
};

class Credentials {
public:
    static constexpr qint64 SessionMs = 12LL * 3600 * 1000;
    static constexpr int FailuresAllowed = 10;
    static constexpr qint64 FailureWindowMs = 10LL * 60 * 1000;
    static constexpr size_t MostSessions = 1000;
    static constexpr size_t MostAddressesKept = 10000;

    void setTokens(std::vector<TokenRecord> tokens);

    // The identity of a valid token. `why` says what was wrong otherwise (for the log, never for
    // the client).
    std::optional<Identity> byToken(const QByteArray& token, qint64 nowMs, QString* why = nullptr) const;

    // A session for a valid token: its id (the cookie's value) and CSRF secret.
    struct Session {
        QByteArray id;
        QByteArray csrf;
    };
    std::optional<Session> signIn(const QByteArray& token, qint64 nowMs, QString* why = nullptr);
    std::optional<Identity> bySession(const QByteArray& sessionId, qint64 nowMs) const;
    void signOut(const QByteArray& sessionId);

    bool isBlocked(const QString& address, qint64 nowMs) const;
    void noteFailure(const QString& address, qint64 nowMs);

private:
    struct Open {
        QByteArray tokenHash;
        QByteArray csrf;
        qint64 untilMs = 0;
    };
    struct Failures {
        int count = 0;
        qint64 sinceMs = 0;
    };
    // The valid record for a token hash, compared with every kept hash in constant time.
    std::optional<TokenRecord> findLocked(const QByteArray& hash, qint64 nowMs) const;

    mutable std::mutex mutex_;
    std::vector<TokenRecord> tokens_;
    std::map<QByteArray, Open> sessions_; // by the SHA-256 of the session id
    std::map<QString, Failures> failures_;
};

} // namespace tamblor::web
