#pragma once
// How a program without windows tells its notices: each one, and each condition cleared, as
// one line on a stream (standard error by default, which a service manager keeps in its
// journal).
#include <QObject>
#include <cstdio>

namespace tamblor {

class Notices;
struct Notice;

class NoticeLog : public QObject {
    Q_OBJECT
public:
    explicit NoticeLog(Notices& notices, std::FILE* stream = stderr, QObject* parent = nullptr);

private:
    void write(const Notice& notice, const char* prefix);

    std::FILE* stream_;
};

} // namespace tamblor
