#include "logger/ClockSync.h"
#include <QProcess>

namespace tamblor::logger {

ClockSync::ClockSync()
    : run_([](const QString& program, const QStringList& arguments) -> std::optional<QString> {
          QProcess p;
          p.start(program, arguments);
          if (!p.waitForFinished(3000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
              p.kill();
              p.waitForFinished(500);
              return std::nullopt;
          }
          return QString::fromLocal8Bit(p.readAllStandardOutput());
      })
{
}

QString ClockSync::state() const
{
    if (auto out = run_("timedatectl", {"show", "-p", "NTPSynchronized", "--value"})) {
        const QString v = out->trimmed();
        if (v == "yes" || v == "no")
            return v;
    }
    if (auto out = run_("chronyc", {"-n", "tracking"})) {
        for (const QString& line : out->split('\n')) {
            if (line.startsWith("Leap status")) {
                const QString status = line.section(':', 1).trimmed();
                return status == "Normal" ? "yes" : "no";
            }
        }
    }
    return "unknown";
}

} // namespace tamblor::logger
