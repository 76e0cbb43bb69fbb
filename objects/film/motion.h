// TVorqMotion: a motion file (".vmt") played onto one control. The film's
// tracks move and change the control itself; the motion keeps the film's
// clock and is stepped by the control's update.
#pragma once
#include "objects/film/film_manager.h"
#include "objects/vorq_object.h"

#include <string>

class TVorqMotion : public TControlMotion {
public:
    explicit TVorqMotion(TVorqControl& target);
    ~TVorqMotion() override;

    void Load(const std::string& file_name);
    bool Step() override;
    bool Ended() const override { return ended_ != 0; }
    void Restart() override;
    void ClearTarget() override;
    void Reapply() override;
    int32_t CurrentFrame() const override { return frame_; }
    int32_t Length() const override { return film_.Length(); }
    void SetElapsedMs(int32_t ms) override;

    TFilmManager& Film() { return film_; }
    int32_t Elapsed() const { return elapsed_; }

private:
    TFilmManager film_;
    TVorqControl* target_;
    int32_t elapsed_ = 0;
    int32_t warmup_ = 2;
    uint8_t ended_ = 0;
    int32_t frame_ = 0;
    int32_t last_left_ = 0, last_top_ = 0;
};
