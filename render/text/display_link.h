// What rich text needs of the display-object side, kept to a narrow
// interface that the display objects fill: the frames of an inline image
// (the objects' image list over the decoded-image cache) and the file test
// that decides whether an image is shown at all.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

class TCustomDIBX;

// The frames of one picture with their animation state.
class TWdImageFrames {
public:
    virtual ~TWdImageFrames() = default;
    // Drops what it held, then holds the named picture for owner_key.
    virtual void LoadFromFile(void* owner_key, const std::string& name) = 0;
    virtual int32_t FrameCount() const = 0;
    // The current frame's surface (its brightness-adjusted copy when there is
    // one), or nullptr when there is no frame.
    virtual TCustomDIBX* CurrentSurface() = 0;
    // Advances the animation by the frame time; true when the frame changed.
    virtual bool Step() = 0;
    virtual void ReleaseAdjusted() = 0;
    virtual void RebuildAdjusted() = 0;
};

class TWdImageSource {
public:
    virtual ~TWdImageSource() = default;
    virtual bool FileExists(const std::string& name) = 0;
    virtual std::unique_ptr<TWdImageFrames> CreateFrames() = 0;
};

// The display objects install theirs at start-up; without one, inline images
// are missing files (0 x 0, drawn as nothing).
void SetRichTextImageSource(TWdImageSource* source);
TWdImageSource* RichTextImageSource();
