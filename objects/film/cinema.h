// TVorqCinema (type 4): plays a cinema file (".vcm") on its layer. A film
// with transitions or layer flags, or with a background colour, plays into a
// private registry of its own (its names, priorities and events kept apart
// from the scene), which the cinema copies into its rectangle; any other
// film's objects become the cinema's children in the scene.
//
// Coordinates: a private scene has its own space, (0,0) being the cinema's
// top-left corner; what changes there reaches the cinema's layer moved by
// the cinema's position on that layer. A cinema inside another cinema's
// private scene is placed in that scene's space the same way, so nesting
// adds the offsets of every level once.
#pragma once
#include "objects/vorq_object.h"

#include <cstdint>
#include <memory>
#include <string>

class TFilmManager;

class TVorqCinema : public TVorqControl {
public:
    explicit TVorqCinema(TVorqBaseList* registry);
    ~TVorqCinema() override;

    uint8_t GetCompoType() const override { return LT_CINEMA; }
    std::string GetSource() const override { return FSource; }
    void SetSource(const std::string& v) override { SetFileName(v); }
    void SetWidth(int32_t v) override;
    void SetHeight(int32_t v) override;
    int32_t GetIndex() const override;
    void SetIndex(int32_t v) override;
    int32_t GetCount() const override;
    bool GetRepeat() const override { return FRepeat != 0; }
    void SetRepeat(bool v) override;
    bool GetPaused() const override { return FPaused != 0; }
    void SetPaused(bool v) override;
    void SetAniPaused(bool v) override;
    bool GetPlaying() const override;
    int32_t GetVolume() const override { return FVolume; }
    void SetVolume(int32_t v) override;
    bool GetAutoScrap() const override { return FAutoScrap != 0; }
    void SetAutoScrap(bool v) override { FAutoScrap = v; }
    std::string GetOnPlayEnd() const override { return FOnPlayEnd; }
    void SetOnPlayEnd(const std::string& v) override { FOnPlayEnd = v; }
    std::string GetOnIdle() const override { return FOnIdle; }
    void SetOnIdle(const std::string& v) override { FOnIdle = v; }
    bool GetRewindOnLoad() const override { return FRewindOnLoad != 0; }
    void SetRewindOnLoad(bool v) override { FRewindOnLoad = v; }
    bool GetMuteOnLoad() const override { return FMuteOnLoad != 0; }
    void SetMuteOnLoad(bool v) override { FMuteOnLoad = v; }

    void SetFileName(const std::string& name);
    bool Update() override;
    void Draw() override;
    TVorqObject* HitTest(const TPoint& p, uint32_t mask) override;
    void ReleaseSurfaces() override;
    void RestoreSurfaces() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;

    TFilmManager* Film() const { return FFilm.get(); }
    // The private scene (always there; used only by films that need it).
    TVorqBaseList* PrivateScene() const { return FScene.get(); }
    bool PlaysPrivately() const { return FPrivate != 0; }
    bool HasEnded() const { return FEnded != 0; }

private:
    void apply_film_pause();

    std::unique_ptr<TVorqBaseList> FScene;
    std::unique_ptr<TFilmManager> FFilm;
    std::string FSource;
    int32_t FElapsed = 0;
    uint8_t FRepeat = 0, FPaused = 0, FAutoScrap = 0;
    std::string FOnPlayEnd, FOnIdle;
    uint8_t FEnded = 0;
    int32_t FCountdown = 2;
    // Films play at their stored volumes until VOLUME is set.
    int32_t FVolume = 1000;
    uint8_t FRewindOnLoad = 0, FMuteOnLoad = 0;
    uint8_t FPrivate = 0;
    // The private scene was drawn in this frame (Draw runs per dirty rect).
    uint8_t FDrawn = 0;
};

// Whether a cinema's film can be found; the shell puts the project's file
// test here (by default plain files and game data).
extern bool (*CinemaFileExists)(const std::string& name);
