#include "remote/Ports.h"
#include "remote/ParallelLines.h"
#include "remote/SerialLines.h"
#include <QDir>
#include <QFileInfo>

namespace tamblor::remote {

LinePort::Kind kindOfDevice(const QString& device)
{
    if (device == QLatin1String("virtual"))
        return LinePort::Kind::Virtual;
    const QString target = QFileInfo(device).canonicalFilePath();
    const QString name = QFileInfo(target.isEmpty() ? device : target).fileName();
    return name.startsWith(QLatin1String("parport")) ? LinePort::Kind::Parallel : LinePort::Kind::Serial;
}

std::unique_ptr<LinePort> makeDevicePort(const LineMap& map)
{
    switch (map.kind) {
    case LinePort::Kind::Serial: return std::make_unique<SerialLines>(map.port);
    case LinePort::Kind::Parallel: return std::make_unique<ParallelLines>(map.port);
    case LinePort::Kind::Virtual: return nullptr;
    }
    return nullptr;
}

QStringList suggestedPorts(LinePort::Kind kind)
{
    QStringList ports;
    auto add = [&](const QString& folder, const QStringList& patterns) {
        const QDir dir(folder);
        for (const QString& name : dir.entryList(patterns, QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name))
            ports << dir.filePath(name);
    };
    if (kind == LinePort::Kind::Serial) {
        add(QStringLiteral("/dev/serial/by-id"), {QStringLiteral("*")});
        add(QStringLiteral("/dev"), {QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*"), QStringLiteral("ttyS*")});
    } else if (kind == LinePort::Kind::Parallel) {
        add(QStringLiteral("/dev"), {QStringLiteral("parport*")});
    }
    return ports;
}

} // namespace tamblor::remote
