// The companion module playing into a device whose mix the test pulls,
// decoding only when the test says so.
#pragma once
#include "media/companion/companion.h"
#include "media/audio/sound_items.h"
#include "platform/system/audio.h"
#include "platform/filesystem/stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

inline std::unique_ptr<TMemoryStream> MemoryStreamOf(const std::vector<uint8_t>& bytes) {
    auto s = std::make_unique<TMemoryStream>();
    if (!bytes.empty()) s->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s->SetPosition(0);
    return s;
}

struct CompanionModuleTest : ::testing::Test {
    std::unique_ptr<AudioDevice> device = AudioDevice::Open(AudioBackend::Manual);
    AudioDevice* cell = device.get();
    void SetUp() override {
        vorqInit(nullptr, nullptr, nullptr, &cell, StreamGetSizeCallback, StreamReadCallback,
                 StreamGetPositionCallback, StreamSeekCallback, nullptr, nullptr, 0);
        vorqOggmanSetUseThread(0);
    }
    void TearDown() override { vorqFinal(); }
};
