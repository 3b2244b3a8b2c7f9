// libFuzzer target for the web server's request handling: the bytes are a request as the server
// library hands it over (a request line, header lines, a blank line, a body), answered by the
// router with a studio snapshot of one take and a viewer's token ("0...01") known. Any answer
// with a body source is read through, as the server would send it. Nothing may crash, and no
// answer may be a 5xx.
#include "web/AccessToken.h"
#include "web/WebRouter.h"
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>

using namespace tamblor::web;

namespace {

struct Quiet : StudioActions {
    Answer perform(Action, qint64) override { return {true, "done"}; }
    void audit(const AuditRow&) override {}
};

struct World {
    QTemporaryDir dir;
    SnapshotBox box;
    Credentials credentials;
    Quiet actions;
    WebLog log;
    std::unique_ptr<WebRouter> router;

    World()
    {
        const QString file = dir.filePath("SF0001.wav");
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray(5000, 'x'));
        f.close();
        auto s = std::make_shared<StudioSnapshot>();
        SlotRow row;
        row.slot = 1;
        row.name = "NEWS";
        row.file = file;
        row.fileSize = 5000;
        s->takes[1] = row;
        box.put(s);
        const QByteArray token = QByteArray(63, '0') + "1";
        credentials.setTokens({{1, "fuzz", Role::Viewer, AccessToken::hashOf(token), 0, 1LL << 60, false}});
        router = std::make_unique<WebRouter>(box, credentials, actions, log);
        router->setSettings({false, "127.0.0.1"});
    }
};

} // namespace


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static World world;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype end = bytes.indexOf("\n\n");
    const QList<QByteArray> lines = (end < 0 ? bytes : bytes.left(end)).split('\n');
    HttpRequest r;
    const QList<QByteArray> first = lines.value(0).split(' ');
    r.method = first.value(0);
    const QByteArray target = first.value(1);
    const qsizetype q = target.indexOf('?');
    r.path = QString::fromUtf8(q < 0 ? target : target.left(q));
    if (q >= 0)
        for (const QByteArray& pair : target.mid(q + 1).split('&')) {
            const qsizetype eq = pair.indexOf('=');
            r.query[QString::fromUtf8(pair.left(eq))] = eq < 0 ? QString() : QString::fromUtf8(pair.mid(eq + 1));
        }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            r.headers[lines[i].left(colon).trimmed().toLower()] = lines[i].mid(colon + 1).trimmed();
    }
    r.body = end < 0 ? QByteArray() : bytes.mid(end + 2);
    r.peerAddress = first.value(2) == "proxy" ? "127.0.0.1" : "10.0.0.1";
    const HttpResponse answer = world.router->handle(r);
    if (answer.status >= 500 || answer.status < 200)
        std::abort();
    if (answer.source) {
        if (answer.offset < 0 || answer.length < 0 || answer.offset + answer.length > answer.source->size())
            std::abort();
        char buf[4096];
        for (int64_t at = 0; at < answer.length;) {
            const int64_t n = answer.source->read(answer.offset + at, buf, std::min<int64_t>(sizeof buf, answer.length - at));
            if (n <= 0)
                std::abort();
            at += n;
        }
    }
    return 0;
}
