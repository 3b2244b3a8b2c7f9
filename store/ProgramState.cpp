#include "store/ProgramState.h"
#include "store/ProgramDatabase.h"

namespace tamblor::store {

std::optional<QString> ProgramState::value(const QString& key) const
{
    if (!database_.isOpen())
        return std::nullopt;
    Statement s = database_.connection().prepare("SELECT value FROM program_state WHERE key = ?1");
    s.bind(1, key);
    if (!s.step())
        return std::nullopt;
    return s.textAt(0);
}

void ProgramState::setValue(const QString& key, const QString& value)
{
    Statement s = database_.connection().prepare(
        "INSERT INTO program_state (key, value) VALUES (?1, ?2) ON CONFLICT(key) DO UPDATE SET value = excluded.value");
    s.bind(1, key).bind(2, value);
    s.run();
}

std::optional<int64_t> ProgramState::number(const QString& key) const
{
    const auto text = value(key);
    if (!text)
        return std::nullopt;
    bool ok = false;
    const int64_t n = text->toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return n;
}

} // namespace tamblor::store
