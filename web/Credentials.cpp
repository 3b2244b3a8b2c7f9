#include "web/Credentials.h"
#include "web/AccessToken.h"

namespace tamblor::web {

void Credentials::setTokens(std::vector<TokenRecord> tokens)
{
    std::lock_guard lock(mutex_);
    tokens_ = std::move(tokens);
}

std::optional<TokenRecord> Credentials::findLocked(const QByteArray& hash, qint64 nowMs) const
{
    std::optional<TokenRecord> found;
    for (const TokenRecord& t : tokens_) // every hash compared, so the time tells nothing
        if (AccessToken::equalInConstantTime(t.hash, hash) && !found)
            found = t;
    if (found && !found->validAt(nowMs))
        return std::nullopt;
    return found;
}

std::optional<Identity> Credentials::byToken(const QByteArray& token, qint64 nowMs, QString* why) const
{
    if (!AccessToken::isWellFormed(token)) {
        if (why)
            *why = QString("a token of %1 characters, not %2 hexadecimal digits").arg(token.size()).arg(AccessToken::TextLength);
        return std::nullopt;
    }
    std::lock_guard lock(mutex_);
    const auto record = findLocked(AccessToken::hashOf(token), nowMs);
    if (!record) {
        if (why)
            *why = "a token that is unknown, revoked or expired";
        return std::nullopt;
    }
    return Identity{record->name, record->role, false, {}};
}

std::optional<Credentials::Session> Credentials::signIn(const QByteArray& token, qint64 nowMs, QString* why)
{
    if (!byToken(token, nowMs, why))
        return std::nullopt;
    Session session{AccessToken::make(), AccessToken::make()};
    std::lock_guard lock(mutex_);
    const auto record = findLocked(AccessToken::hashOf(token), nowMs);
    if (!record)
        return std::nullopt;
    for (auto it = sessions_.begin(); it != sessions_.end();)
        it = it->second.untilMs <= nowMs ? sessions_.erase(it) : std::next(it);
    if (sessions_.size() >= MostSessions) {
        // The one that ends soonest makes room.
        auto soonest = sessions_.begin();
        for (auto it = sessions_.begin(); it != sessions_.end(); ++it)
            if (it->second.untilMs < soonest->second.untilMs)
                soonest = it;
        sessions_.erase(soonest);
    }
    sessions_[AccessToken::hashOf(session.id)] = {record->hash, session.csrf,
                                                  std::min(record->expiresAtMs, nowMs + SessionMs)};
    return session;
}

std::optional<Identity> Credentials::bySession(const QByteArray& sessionId, qint64 nowMs) const
{
    if (!AccessToken::isWellFormed(sessionId))
        return std::nullopt;
    std::lock_guard lock(mutex_);
    const auto it = sessions_.find(AccessToken::hashOf(sessionId));
    if (it == sessions_.end() || it->second.untilMs <= nowMs)
        return std::nullopt;
    const auto record = findLocked(it->second.tokenHash, nowMs);
    if (!record)
        return std::nullopt; // revoked or expired since
    return Identity{record->name, record->role, false, it->second.csrf};
}

void Credentials::signOut(const QByteArray& sessionId)
{
    std::lock_guard lock(mutex_);
    sessions_.erase(AccessToken::hashOf(sessionId));
}

bool Credentials::isBlocked(const QString& address, qint64 nowMs) const
{
    std::lock_guard lock(mutex_);
    const auto it = failures_.find(address);
    return it != failures_.end() && it->second.count >= FailuresAllowed && nowMs - it->second.sinceMs < FailureWindowMs;
}

void Credentials::noteFailure(const QString& address, qint64 nowMs)
{
    std::lock_guard lock(mutex_);
    if (failures_.size() >= MostAddressesKept)
        for (auto it = failures_.begin(); it != failures_.end();)
            it = nowMs - it->second.sinceMs >= FailureWindowMs ? failures_.erase(it) : std::next(it);
    Failures& f = failures_[address];
    if (nowMs - f.sinceMs >= FailureWindowMs)
        f = {0, nowMs};
    ++f.count;
}

} // namespace tamblor::web
