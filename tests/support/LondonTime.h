#pragma once
// The time zone of London for as long as the object lives (clocks forward on 29 March 2026 at
// 01:00 GMT, back on 25 October 2026 at 02:00 BST), the zone before it restored afterwards.
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

class LondonTime {
public:
    LondonTime()
    {
        const char* tz = std::getenv("TZ");
        saved_ = tz ? std::optional<std::string>(tz) : std::nullopt;
        setenv("TZ", "Europe/London", 1);
        tzset();
    }
    ~LondonTime()
    {
        if (saved_)
            setenv("TZ", saved_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    LondonTime(const LondonTime&) = delete;
    LondonTime& operator=(const LondonTime&) = delete;

private:
    std::optional<std::string> saved_;
};
