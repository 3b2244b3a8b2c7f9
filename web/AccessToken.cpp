#include "web/AccessToken.h"
#include <QCryptographicHash>
#include <cerrno>
#include <stdexcept>
#include <sys/random.h>

namespace tamblor::web::AccessToken {

QByteArray make()
{
    unsigned char bytes[Bits / 8];
    size_t have = 0;
    while (have < sizeof bytes) {
        const ssize_t n = getrandom(bytes + have, sizeof bytes - have, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("the system's random source failed");
        }
        have += size_t(n);
    }
    return QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes).toHex();
}

bool isWellFormed(const QByteArray& text)
{
    if (text.size() != TextLength)
        return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

QByteArray hashOf(const QByteArray& token)
{
    return QCryptographicHash::hash(token.toLower(), QCryptographicHash::Sha256).toHex();
}

bool equalInConstantTime(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

} // namespace tamblor::web::AccessToken
