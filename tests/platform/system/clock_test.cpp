// The local date comes from the user's time zone: under fixed zones it must
// equal UTC shifted by the zone's offset.
#include "platform/system/clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

// The clock LocalNow reads: time() may take a coarser clock that turns
// the second a tick later.
time_t now_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec;
}

class ZoneScope {
public:
    explicit ZoneScope(const char* tz) {
        if (const char* old = std::getenv("TZ")) saved_ = old, had_ = true;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ZoneScope() {
        if (had_) setenv("TZ", saved_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    std::string saved_;
    bool had_ = false;
};

TEST(LocalNow, FollowsTheTimeZone) {
    struct Case {
        const char* tz;
        int offset_seconds;  // east of UTC
    };
    const Case cases[] = {{"UTC0", 0}, {"JST-9", 9 * 3600}, {"EST5", -5 * 3600}, {"NPT-5:45", 5 * 3600 + 45 * 60}};
    for (const Case& c : cases) {
        ZoneScope zone(c.tz);
        LocalDateTime got{};
        time_t before = 0, after = 0;
        // Retry when the second turned over between the readings.
        for (int attempt = 0; attempt < 5; ++attempt) {
            before = now_seconds();
            got = LocalNow();
            after = now_seconds();
            if (before == after) break;
        }
        ASSERT_EQ(before, after) << c.tz;
        const time_t shifted = before + c.offset_seconds;
        std::tm want{};
        gmtime_r(&shifted, &want);
        EXPECT_EQ(got.year, want.tm_year + 1900) << c.tz;
        EXPECT_EQ(got.month, want.tm_mon + 1) << c.tz;
        EXPECT_EQ(got.day, want.tm_mday) << c.tz;
        EXPECT_EQ(got.hour, want.tm_hour) << c.tz;
        EXPECT_EQ(got.minute, want.tm_min) << c.tz;
        EXPECT_EQ(got.second, want.tm_sec) << c.tz;
        EXPECT_GE(got.millisecond, 0) << c.tz;
        EXPECT_LT(got.millisecond, 1000) << c.tz;
    }
}

}  // namespace
