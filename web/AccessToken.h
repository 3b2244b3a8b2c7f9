#pragma once
// The tokens that open the web pages: 256 bits from the system's cryptographic random source
// (getrandom), written as 64 lower-case hexadecimal digits. Only a token's SHA-256 is kept; a
// presented token is hashed and compared with every kept hash in constant time.
#include <QByteArray>
#include <QString>

namespace tamblor::web::AccessToken {

inline constexpr int Bits = 256;
inline constexpr int TextLength = Bits / 4; // hexadecimal digits

// A new token (or a session's or a form's secret). Throws std::runtime_error when the random
// source fails.
QByteArray make();
// Whether `text` has the form of a token: exactly TextLength hexadecimal digits.
bool isWellFormed(const QByteArray& text);
// The SHA-256 of a token as 64 lower-case hexadecimal digits.
QByteArray hashOf(const QByteArray& token);
// Compares two byte strings in a time that depends only on their lengths.
bool equalInConstantTime(const QByteArray& a, const QByteArray& b);

} // namespace tamblor::web::AccessToken
