// The process-wide cache of decoded pictures. A caller acquires a picture
// by file name (optionally with a mask and trimmed), receives an item whose
// frames are surfaces at the display's depth, draws them with an opacity
// code and releases the item when done. Released items stay cached, oldest
// freed first, while their surface bytes fit the idle budget.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "files/hash_collection.h"
#include "platform/rect.h"

class TCustomDIBX;
class TDIBX;
class TStream;
class TTeskCollection;
class TTeskFrame;

// Where the cache finds pictures and how their scrambling is keyed: the
// running project and the file manager in the player, a fake in tests.
class TTeskSource {
public:
    virtual ~TTeskSource() = default;
    // The project's file test; a picture it does not find is a placeholder.
    virtual bool FileExists(const std::string& name) = 0;
    // The file manager's own test, asked before reloading.
    virtual bool ManagerFileExists(const std::string& name) = 0;
    virtual void LoadToStream(TStream& stream, const std::string& name) = 0;
    // The running project's identification code.
    virtual uint32_t IdCode() = 0;
};

class TTeskItemFrame {
public:
    TTeskItemFrame();
    ~TTeskItemFrame();

    // Opacity code: 0 nothing, 1..254 constant alpha, 255 opaque (per-pixel
    // alpha with a mask), 256..511 additive at level code - 256.
    void Draw(TCustomDIBX& dest, int32_t x, int32_t y, int32_t opacity, bool flipV, bool flipH,
              const TRect& srcRect) const;
    // srcRect repeated over destRect from the offsets into the source.
    void DrawTiled(TCustomDIBX& dest, const TRect& destRect, int32_t opacity, bool flipV, bool flipH,
                   int32_t offsetY, int32_t offsetX, const TRect& srcRect) const;

    std::unique_ptr<TCustomDIBX> Image;
    std::unique_ptr<TDIBX> Mask;  // 8 bpp, or none
    int32_t TransparentColor = -1;  // colour (0x00BBGGRR)
    int32_t Delay = 1;
    int32_t TrimX = 0;
    int32_t TrimY = 0;
};

class TTeskItem : public THashCollectionItem {
public:
    explicit TTeskItem(TTeskCollection* owner) : owner_(owner) {}

    // Removes a listed user; the last one leaving makes the item idle.
    void Release(void* user);
    int32_t GetFrameCount() const { return static_cast<int32_t>(Frames.size()); }
    const std::vector<void*>& Users() const { return users_; }
    // Surface bytes of all frames, masks included.
    int64_t ByteCount() const { return bytes_; }

    // Decodes the key's picture into fresh frames.
    void Load(const std::string& key);
    // Decodes again into the existing frames (new surfaces when asked);
    // a file the file manager no longer finds leaves the item as it is.
    void Reload(bool newSurfaces);

    int32_t TotalDelay = 0;
    std::vector<std::unique_ptr<TTeskItemFrame>> Frames;
    int32_t Width = 0;
    int32_t Height = 0;

private:
    friend class TTeskCollection;
    void FillFrame(TTeskItemFrame& out, TTeskFrame& frame, bool trim, bool mask, bool newSurface);
    void CountBytes();

    TTeskCollection* owner_;
    std::vector<void*> users_;
    int64_t bytes_ = 0;
    bool idle_ = false;
};

class TTeskCollection : public THashCollection {
public:
    static constexpr int64_t kIdleBudget = 5760000;

    explicit TTeskCollection(TTeskSource* source) : source_(source) {}
    ~TTeskCollection() override;

    // Finds or decodes the picture; decoding errors propagate and leave
    // nothing behind. A missing file gives an 80 x 80 placeholder.
    TTeskItem* Acquire(void* user, const std::string& name, bool trim, bool mask);
    bool MatchDepth() const { return match_depth_; }
    // Reloads every item when the flag changes.
    void SetMatchDepth(bool flag);
    void SaveToStream(TStream& stream) const;
    void LoadFromStream(TStream& stream, int32_t version);
    // Before a display change: every frame's surface lets go of its pixels.
    void ReleaseSurfaces();
    // After it: every item decoded again.
    void RestoreSurfaces(bool newSurfaces);
    // Frees the idle items of the four keys of a name.
    void Purge(const std::string& name);

    const std::vector<TTeskItem*>& IdleList() const { return idle_; }
    int64_t IdleBytes() const { return idle_bytes_; }
    TTeskSource* Source() const { return source_; }

private:
    friend class TTeskItem;
    void AddIdle(TTeskItem* item);
    void RemoveIdle(TTeskItem* item);
    void FreeItem(TTeskItem* item);

    TTeskSource* source_;
    bool match_depth_ = false;
    std::vector<TTeskItem*> idle_;  // oldest first
    int64_t idle_bytes_ = 0;
    std::string key_;  // reused so that a cache hit allocates nothing
};

// Made by the display objects' start-up.
extern TTeskCollection* TeskCollection;
