#include "remote/LineMonitor.h"
#include "remote/LineMap.h"
#include "remote/Ports.h"
#include <QDateTime>

namespace tamblor::remote {

LineMonitor::LineMonitor(Maker make) : make_(std::move(make))
{
    if (!make_)
        make_ = [](const QString& device) {
            LineMap map = LineMap::defaults(kindOfDevice(device));
            map.port = device;
            return makeDevicePort(map);
        };
}

QString LineMonitor::edgeLine(const LinePort& port, const RawEdge& edge, int64_t nowUs)
{
    const QDateTime at = QDateTime::currentDateTime().addMSecs(-(nowUs - edge.atUs) / 1000);
    const QStringList names = port.inputs();
    const QString line = edge.input >= 0 && edge.input < names.size() ? names.at(edge.input) : QString::number(edge.input);
    QString level;
    if (edge.pulse)
        level = QStringLiteral("pulse (counted, too short to read its level)");
    else if (port.kind() == LinePort::Kind::Parallel)
        level = edge.asserted ? QStringLiteral("low (closed to ground)") : QStringLiteral("high (open)");
    else
        level = edge.asserted ? QStringLiteral("asserted (on)") : QStringLiteral("released (off)");
    return at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + "  " + line.leftJustified(7) + " " + level;
}

int LineMonitor::run(const QString& device, QTextStream& out, QTextStream& err, const std::function<bool()>& keepGoing)
{
    std::unique_ptr<LinePort> port = make_(device);
    if (!port) {
        err << "tamblor: " << device << " is not a port of remote lines." << Qt::endl;
        return 1;
    }
    port->open();
    bool toldWaiting = false;
    bool toldOpen = false;
    while (keepGoing()) {
        const LinePort::Status status = port->status();
        if (status == LinePort::Status::Failed) {
            const auto p = port->problem();
            err << "tamblor: " << (p ? p->text() : device + " cannot be used.") << Qt::endl;
            return 1;
        }
        if (status == LinePort::Status::Opening) {
            if (!toldWaiting && port->problem()) {
                err << "tamblor: " << port->problem()->text() << Qt::endl;
                toldWaiting = true;
            }
            continue;
        }
        if (!toldOpen) {
            toldOpen = true;
            const QStringList inputs = port->inputs();
            const uint32_t levels = port->levels();
            out << "Watching " << device << " (" << kindName(port->kind()) << "). The inputs now:";
            for (int i = 0; i < inputs.size(); ++i)
                out << "  " << inputs.at(i) << (levels & (1u << i) ? " asserted" : " released");
            out << ". Every edge follows; Ctrl+C ends." << Qt::endl;
        }
        const int64_t now = port->nowUs();
        for (const RawEdge& e : port->takeEdges())
            out << edgeLine(*port, e, now) << Qt::endl;
    }
    port->close();
    return 0;
}

} // namespace tamblor::remote
