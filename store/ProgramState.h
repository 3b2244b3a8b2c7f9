#pragma once
// Small named values the program keeps between runs in its database (the scheduler's
// heartbeat, for one). Reading while the database is closed gives nothing; writing throws.
#include <QString>
#include <cstdint>
#include <optional>

namespace tamblor::store {

class ProgramDatabase;

class ProgramState {
public:
    explicit ProgramState(ProgramDatabase& database) : database_(database) {}

    std::optional<QString> value(const QString& key) const;
    void setValue(const QString& key, const QString& value);
    std::optional<int64_t> number(const QString& key) const;
    void setNumber(const QString& key, int64_t value) { setValue(key, QString::number(value)); }

private:
    ProgramDatabase& database_;
};

} // namespace tamblor::store
