// The mixers the CD audio manager finds CD lines in. CD sound is read
// digitally into our own bus, so the first device is our software mixer:
// one destination (the speakers) whose one source is the compact disc; its
// levels scale the extracted samples. Each sound card with a CD control
// follows as a device of its own: one destination (without controls of its
// own) whose one source is that control.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

class TCardCdLine;

// Component types of mixer lines.
constexpr uint32_t MixerLineSpeakers = 4;
constexpr uint32_t MixerLineCompactDisc = 4101;

struct TMixerLineValues {
    int32_t Left = -1;   // 0 .. 65535
    int32_t Right = -1;  // 0 .. 65535
    int32_t Mute = -1;   // 1 or 0
    bool Stereo = false;
};

class TAudioMixer {
public:
    TAudioMixer();
    ~TAudioMixer();
    int32_t DeviceCount() const { return 1 + static_cast<int32_t>(FCards.size()); }
    // -1 when none is open.
    int32_t MixerId() const { return FMixerId; }
    void SetMixerId(int32_t id);

    int32_t DestinationCount() const { return FMixerId < 0 ? 0 : 1; }
    int32_t ConnectionCount(int32_t destination) const;
    // 0 for a line that does not exist.
    uint32_t ComponentType(int32_t destination, int32_t connection) const;

    // connection -1: the destination itself. False when the line does not exist.
    bool GetVolume(int32_t destination, int32_t connection, TMixerLineValues& values) const;
    // -1 leaves a part unchanged; a right of -1 takes the left value.
    bool SetVolume(int32_t destination, int32_t connection, int32_t mute, int32_t right, int32_t left);

private:
    struct Line {
        int32_t Left = 65535, Right = 65535, Mute = 0;
    };
    Line* line(int32_t destination, int32_t connection);
    const Line* line(int32_t destination, int32_t connection) const;
    void apply_cd_line();

    TCardCdLine* card() const;

    std::vector<std::unique_ptr<TCardCdLine>> FCards;
    int32_t FMixerId = -1;
    Line FSpeakers;
    Line FCompactDisc;
};
