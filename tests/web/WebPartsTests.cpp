// The web server's parts on their own: the range header, the tokens and their hashes, the slot
// numbers and client addresses a request may carry, the credentials' sessions and failed
// attempts, the token store in the database.
#include "WebFixture.h"
#include "web/AccessToken.h"
#include "web/ByteRange.h"
#include "web/Credentials.h"
#include "web/Pages.h"
#include "web/WebRouter.h"
#include <set>

using namespace tamblor::web;

TEST(WebParts, ARangeHeaderIsOneRangeOfBytesWithinTheBodyOrItIsRefused)
{
    using K = ByteRange::Kind;
    struct Case {
        const char* header;
        K kind;
        int64_t first, last;
    };
    const Case cases[] = {
        {"", K::Whole, 0, 999},
        {"bytes=0-99", K::Part, 0, 99},
        {"bytes=100-", K::Part, 100, 999},
        {"bytes=-50", K::Part, 950, 999},
        {"bytes=-5000", K::Part, 0, 999},
        {"bytes=990-5000", K::Part, 990, 999},
        {" bytes=5-5 ", K::Part, 5, 5},
        {"bytes=1000-", K::Unsatisfiable, 0, 0},
        {"bytes=5000-6000", K::Unsatisfiable, 0, 0},
        {"bytes=-0", K::Unsatisfiable, 0, 0},
        {"bytes=9-5", K::Malformed, 0, 0},
        {"bytes=0-1,5-6", K::Malformed, 0, 0},
        {"bytes=-", K::Malformed, 0, 0},
        {"bytes=a-b", K::Malformed, 0, 0},
        {"bytes=--5", K::Malformed, 0, 0},
        {"bytes=+5-", K::Malformed, 0, 0},
        {"items=0-5", K::Malformed, 0, 0},
        {"bytes=99999999999999999999-", K::Malformed, 0, 0},
    };
    for (const Case& c : cases) {
        const ByteRange r = ByteRange::parse(c.header, 1000);
        EXPECT_EQ(r.kind, c.kind) << c.header;
        if (c.kind == K::Part || c.kind == K::Whole) {
            EXPECT_EQ(r.first, c.first) << c.header;
            EXPECT_EQ(r.last, c.last) << c.header;
        }
    }
    EXPECT_EQ(ByteRange::parse("bytes=0-", 0).kind, K::Unsatisfiable) << "nothing to give";
}

TEST(WebParts, TokensAre256RandomBitsKeptOnlyAsTheirSha256AndComparedInFull)
{
    std::set<QByteArray> seen;
    for (int i = 0; i < 100; ++i) {
        const QByteArray t = AccessToken::make();
        EXPECT_EQ(t.size(), 64);
        EXPECT_TRUE(AccessToken::isWellFormed(t));
        seen.insert(t);
    }
    EXPECT_EQ(seen.size(), 100u);
    // SHA-256 of "abc".
    EXPECT_EQ(AccessToken::hashOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_FALSE(AccessToken::isWellFormed(QByteArray(63, 'a')));
    EXPECT_FALSE(AccessToken::isWellFormed(QByteArray(65, 'a')));
    EXPECT_FALSE(AccessToken::isWellFormed(QByteArray(63, 'a') + "g"));
    EXPECT_TRUE(AccessToken::equalInConstantTime("abcd", "abcd"));
    EXPECT_FALSE(AccessToken::equalInConstantTime("abcd", "abce"));
    EXPECT_FALSE(AccessToken::equalInConstantTime("abcd", "abc"));
}

TEST(WebParts, ASlotFromARequestIsOneToNineHundredInDigitsAndAClientAddressComesFromTheTrustedProxyOnly)
{
    EXPECT_EQ(WebRouter::slotOf("1"), 1);
    EXPECT_EQ(WebRouter::slotOf("900"), 900);
    EXPECT_EQ(WebRouter::slotOf("007"), 7);
    for (const char* bad : {"0", "901", "-1", "+1", "abc", "", "1.0", "0x10", "1e2", "1000", " 1", "١"})
        EXPECT_FALSE(WebRouter::slotOf(QString::fromUtf8(bad))) << bad;

    HttpRequest r;
    r.peerAddress = "10.1.1.1";
    r.headers["x-forwarded-for"] = "1.2.3.4, 5.6.7.8";
    EXPECT_EQ(WebRouter::clientAddress(r, {}), "10.1.1.1") << "no proxy trusted";
    EXPECT_EQ(WebRouter::clientAddress(r, "10.9.9.9"), "10.1.1.1") << "not the trusted proxy";
    EXPECT_EQ(WebRouter::clientAddress(r, "10.1.1.1"), "5.6.7.8") << "the address the proxy appended";
    r.headers["x-forwarded-for"] = "1.2.3.4, not-an-address";
    EXPECT_EQ(WebRouter::clientAddress(r, "10.1.1.1"), "10.1.1.1");
    r.headers["x-forwarded-for"] = "::1";
    EXPECT_EQ(WebRouter::clientAddress(r, "10.1.1.1"), "::1");
}

TEST(WebParts, ASessionHasItsOwnCsrfSecretAndFailedAttemptsAreForgottenInTime)
{
    Credentials c;
    const QByteArray token = AccessToken::make();
    TokenRecord t{1, "Ann", Role::Operator, AccessToken::hashOf(token), 0, 10'000'000, false};
    c.setTokens({t});
    // (A token refused, expired or revoked, over the server's requests.)
    ASSERT_TRUE(c.byToken(token.toUpper(), 1000)) << "hex digits in either case";

    const auto session = c.signIn(token, 1000);
    ASSERT_TRUE(session);
    EXPECT_NE(session->id, session->csrf);
    const auto who = c.bySession(session->id, 2000);
    ASSERT_TRUE(who);
    EXPECT_EQ(who->name, "Ann");
    EXPECT_EQ(who->csrf, session->csrf);

    // Blocked after too many failures (see the trusted proxy's test) until they are old enough.
    for (int i = 0; i < Credentials::FailuresAllowed; ++i)
        c.noteFailure("1.2.3.4", 1000 + i);
    EXPECT_TRUE(c.isBlocked("1.2.3.4", 2000));
    EXPECT_FALSE(c.isBlocked("1.2.3.4", 1000 + Credentials::FailureWindowMs));
}

TEST(WebParts, ACountdownSaysHowLongUntilAStart)
{
    EXPECT_EQ(Pages::countdown(0, 0), "now");
    EXPECT_EQ(Pages::countdown(0, 42'000), "in 42 s");
    EXPECT_EQ(Pages::countdown(0, 125'000), "in 2 min 05 s");
    EXPECT_EQ(Pages::countdown(0, 3'720'000), "in 1 h 02 min");
    EXPECT_EQ(Pages::countdown(0, 3LL * 24 * 3600'000), "in 3 days");
    EXPECT_EQ(Pages::figure(-1.0 / 0.0), "-inf");
    EXPECT_EQ(Pages::figure(-23.04), "-23.0");
}

TEST_F(WebTest, TokensAreStoredAsHashesOnlyAndRevokedInTheDatabase)
{
    auto& c = studio->database().connection();
    EXPECT_EQ(c.queryInt("SELECT count(*) FROM web_tokens"), 2);
    EXPECT_EQ(c.queryInt(QString("SELECT count(*) FROM web_tokens WHERE hash = '%1'")
                             .arg(QString::fromLatin1(AccessToken::hashOf(operatorToken)))),
              1);
    EXPECT_EQ(c.queryInt(QString("SELECT count(*) FROM web_tokens WHERE hash LIKE '%%1%' OR name LIKE '%%1%'")
                             .arg(QString::fromLatin1(operatorToken.left(16)))),
              0)
        << "the token itself is nowhere";
    const auto all = service->tokens().all();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].name, "Bob");
    EXPECT_EQ(all[0].role, Role::Viewer);
    EXPECT_EQ(all[1].role, Role::Operator);
    service->tokens().revoke(all[0].id);
    EXPECT_TRUE(service->tokens().all()[0].revoked);
    EXPECT_EQ(get("/now.json", {bearer(viewerToken)}).status, 401);
    EXPECT_EQ(get("/now.json", {bearer(operatorToken)}).status, 200);
}
