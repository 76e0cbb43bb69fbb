// The files a film refers to: particle sources, and the files of the motion
// files among them, each listed once however the motion files name each
// other (themselves included).
#include "objects/film/film_manager.h"
#include "tests/support/film_writer.h"
#include "tests/support/fixture_writers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A motion file whose tracks are particle tracks of the given sources.
std::string motion_of(const std::vector<std::string>& sources) {
    TFilmWriter w(108, true);
    w.Header(64, 64, -1);
    w.TrackCount(static_cast<uint32_t>(sources.size()));
    for (const std::string& s : sources) {
        w.Track(6, -1, 10, 0);
        w.Str(s);
        w.U8(0);                                  // part motion
        for (int i = 0; i < 5; ++i) w.I32(0);     // pre-roll, intervals
        for (int i = 0; i < 8; ++i) w.I32(0);     // birth points
        w.U8(0);
        w.U8(0);
        for (int i = 0; i < 6; ++i) w.F64(0.5);   // parameters
        for (int i = 0; i < 4; ++i) w.I32(0);     // positions
        w.U8(0);
        w.U8(0);
        for (int i = 0; i < 12; ++i) w.I32(8);    // sizes and clip
        w.U8(0);
        w.U8(0);
        w.I32(255);
        w.I32(255);
    }
    return std::string(w.Bytes().begin(), w.Bytes().end());
}

TEST(FilmFiles, MotionFilesAreFollowedOnceAndCyclesEnd) {
    TTestGameFolder dir;
    const std::string d = dir.Path();
    dir.WriteFile("a.vmt", motion_of({"star.tes", "b.vmt", "a.vmt"}));
    dir.WriteFile("b.vmt", motion_of({"A.VMT", "spark.tes", "c.vmt", "star.tes"}));
    dir.WriteFile("c.vmt", motion_of({"b.vmt", "dust.tes"}));
    const struct {
        const char* film;
        std::vector<std::string> want;
    } cases[] = {
        {"a.vmt", {"star.tes", "b.vmt", "A.VMT", "spark.tes", "c.vmt", "dust.tes"}},
        {"c.vmt", {"b.vmt", "A.VMT", "star.tes", "spark.tes", "c.vmt", "dust.tes"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.film);
        TFilmManager film;
        film.LoadFromFile(d + c.film);
        std::vector<std::string> names;
        film.CollectFiles(names);
        std::vector<std::string> want;
        for (const std::string& n : c.want) want.push_back(d + n);
        EXPECT_EQ(names, want);
    }
}

TEST(FilmFiles, AMissingOrDamagedMotionFileIsListedNotFollowed) {
    TTestGameFolder dir;
    const std::string d = dir.Path();
    std::string cut = motion_of({"x.tes"});
    cut.resize(cut.size() - 3);
    dir.WriteFile("cut.vmt", cut);
    dir.WriteFile("top.vmt", motion_of({"gone.vmt", "cut.vmt", "last.tes"}));
    TFilmManager film;
    film.LoadFromFile(d + "top.vmt");
    std::vector<std::string> names;
    film.CollectFiles(names);
    EXPECT_EQ(names, (std::vector<std::string>{d + "gone.vmt", d + "cut.vmt", d + "last.tes"}));
}

}  // namespace
