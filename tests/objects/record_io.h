// Saved records of display objects in the tests: written out as bytes, and
// loaded back (whole, cut short or damaged) into a fresh object.
#pragma once
#include "objects/base_list.h"
#include "objects/object_kinds.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

inline std::vector<uint8_t> SavedRecord(TVorqObject& o) {
    TMemoryStream out;
    o.SaveToStream(out);
    return std::vector<uint8_t>(out.Bytes().begin(), out.Bytes().end());
}

// The object loaded from the first n bytes of b as a save of the version
// wrote them; it must read all n.
inline void LoadRecordInto(TVorqObject& o, const std::vector<uint8_t>& b, size_t n, int32_t version) {
    TMemoryStream in;
    if (n) in.WriteBuffer(b.data(), int64_t(n));
    in.SetPosition(0);
    o.LoadFromStream(in, version);
    EXPECT_EQ(in.Remaining(), 0);
}

// A fresh object of the type in the emptied scene, loaded from the first n
// bytes of b as a save of the version wrote them; it must read all n.
template <class K>
K* LoadRecord(TVorqBaseList& reg, uint8_t type, const std::vector<uint8_t>& b, size_t n, int32_t version) {
    reg.ResetScene();
    auto* copy = static_cast<K*>(CreateStoredObject(&reg, type));
    LoadRecordInto(*copy, b, n, version);
    return copy;
}

// Each byte of a record replaced in turn: a fresh object reads it or
// refuses it as corrupt, never faults; what it read is then shown.
template <class K>
void LoadEachDamagedByte(TVorqBaseList& reg, uint8_t type, const std::vector<uint8_t>& bytes, int32_t version,
                         const std::function<void(K&)>& shown) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        auto* copy = static_cast<K*>(CreateStoredObject(&reg, type));
        std::vector<uint8_t> bad = bytes;
        bad[i] ^= 0xA5;
        TMemoryStream in;
        in.WriteBuffer(bad.data(), int64_t(bad.size()));
        in.SetPosition(0);
        try {
            copy->LoadFromStream(in, version);
            shown(*copy);
        } catch (const ECorruptData&) {
        }
    }
}

// A new object of the type beside the others, loaded from bytes as a save
// of the version wrote them; one that refuses them is freed again and the
// refusal passes on.
template <class K>
K* LoadRecordOrFree(TVorqBaseList& reg, uint8_t type, const std::string& bytes, int32_t version) {
    TMemoryStream s;
    s.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    auto* copy = static_cast<K*>(CreateObjectByType(&reg, type));
    try {
        copy->LoadFromStream(s, version);
    } catch (...) {
        copy->FreeNow();
        throw;
    }
    return copy;
}
