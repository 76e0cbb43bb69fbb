// The demo game is a chain of scenes. Each scene writes its pages and its
// assets into the staging folder; its first page is the one the chain names
// and its last page jumps to the next scene's page. A scene that waits for
// the player also goes on by itself after a few seconds, so that the demo
// still ends when it runs without anyone at the keys.
#pragma once

#include <string>

struct DemoScene {
    const char* Page;  // first page of the scene, as jumped to
    void (*Write)(const std::string& folder, const std::string& next);
};

void WriteTransitionsScene(const std::string& folder, const std::string& next);
void WriteWidgetsScene(const std::string& folder, const std::string& next);
void WriteFilmScene(const std::string& folder, const std::string& next);
void WriteVideoScene(const std::string& folder, const std::string& next);
void WriteImagesScene(const std::string& folder, const std::string& next);
void WriteMapScene(const std::string& folder, const std::string& next);
void WriteMesScene(const std::string& folder, const std::string& next);
void WriteSavesScene(const std::string& folder, const std::string& next);
void WriteMenuScene(const std::string& folder, const std::string& next);
void WriteEffectsScene(const std::string& folder, const std::string& next);
void WriteParticlesScene(const std::string& folder, const std::string& next);
void WriteEditScene(const std::string& folder, const std::string& next);
// Trace lines of the name scene: the default name filled in, the greeting.
constexpr int kEditDefaultNameLine = 900;
constexpr int kEditGreetingLine = 901;
