#include "objects/film/motion.h"

#include "script/game_clock.h"

#include <cmath>

namespace {
constexpr double kFrameMs = 16.666666666666668;

int32_t RoundFrames(double v) {
    const double r = std::nearbyint(v);
    if (!(r > -2147483648.0)) return INT32_MIN;
    if (!(r < 2147483647.0)) return INT32_MAX;
    return static_cast<int32_t>(r);
}
}  // namespace

TVorqMotion::TVorqMotion(TVorqControl& target) : target_(&target) {
    film_.motion_mode = true;
    film_.bound_object = &target;
    film_.scene = target.Registry();
}

TVorqMotion::~TVorqMotion() { ClearTarget(); }

void TVorqMotion::ClearTarget() {
    if (!target_) return;
    target_->SetMotionX(0);
    target_->SetMotionY(0);
    target_->SetOrder(0);
    target_ = nullptr;
    film_.bound_object = nullptr;
}

void TVorqMotion::Load(const std::string& file_name) {
    film_.LoadFromFile(file_name);
    Restart();
}

void TVorqMotion::Restart() {
    elapsed_ = 0;
    warmup_ = 2;
    ended_ = 0;
}

void TVorqMotion::SetElapsedMs(int32_t ms) {
    elapsed_ = ms;
    warmup_ = 2;
    ended_ = 0;
}

void TVorqMotion::Reapply() {
    if (target_ && frame_ >= 0 && frame_ < film_.Length()) film_.SetFrame(frame_);
}

bool TVorqMotion::Step() {
    if (!target_) return false;
    bool force = false;
    // A command moved the control: a relative motion follows it, and goes
    // on even after it had ended.
    if (warmup_ < 1 && film_.relative_mode &&
        (target_->GetLeft() != last_left_ || target_->GetTop() != last_top_)) {
        film_.origin = {target_->GetLeft(), target_->GetTop()};
        ended_ = 0;
        force = true;
    }
    if (ended_) return false;
    if (warmup_ == 2) {
        film_.origin = film_.relative_mode ? FilmPoint{target_->GetLeft(), target_->GetTop()} : FilmPoint{};
        film_.base_priority = target_->GetPriority();
        last_left_ = target_->GetLeft();
        last_top_ = target_->GetTop();
    }
    if (warmup_ < 1 && !target_->GetAniPaused())
        elapsed_ = static_cast<int32_t>(static_cast<uint32_t>(elapsed_) + FrameTime);
    int32_t frame = RoundFrames(elapsed_ / kFrameMs);
    bool result = false;
    const int32_t length = film_.Length();
    if (frame >= length) {
        if (!target_->GetRepeat()) {
            frame = length - 1;
            ended_ = 1;
            result = true;
        } else {
            if (length > 0) {
                frame = static_cast<int32_t>(int64_t(frame) % length + film_.loop_start);
                if (frame >= length) frame = length - 1;
                if (frame < 0) frame = 0;
            } else {
                frame = 0;
            }
            elapsed_ = RoundFrames(frame * kFrameMs);
        }
    }
    frame_ = frame;
    if (warmup_ == 2 || film_.current_frame != frame || force) film_.SetFrame(frame);
    if (warmup_ > 0) --warmup_;
    if (target_) {
        last_left_ = target_->GetLeft();
        last_top_ = target_->GetTop();
    }
    return result;
}
