#include "files/vr_file_collection.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/resources.h"

#include "tests/support/archive_bytes.h"
#include "tests/support/file_bytes.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

// The samples in tests/data/archive were written by make_archives.py in that
// folder with Python's struct, zlib.compress (level 1) and zlib.crc32; the
// directory scrambling there is computed from the generator sequence by hand.
namespace {
std::string sample(const std::string& name) { return std::string(VORQ_TEST_DATA) + "/archive/" + name; }

std::string load(TVrFileCollection& c, const std::string& name) {
    TMemoryStream m;
    c.LoadToStream(m, name);
    EXPECT_EQ(m.GetPosition(), 0);
    return StreamBytes(m);
}

// The contents make_archives.py packs.
std::string scenario_text() {
    std::string t;
    for (int i = 0; i < 200; ++i) t += "line " + std::to_string(i) + " of the scenario text\r\n";
    return t;
}
std::string byte_ramp(int repeat) {
    std::string r;
    for (int k = 0; k < repeat; ++k)
        for (int i = 0; i < 256; ++i) r += static_cast<char>(i);
    return r;
}
const std::string kJapaneseName = Sjis("画像\\背景.bmp");

std::string temp_file(const std::string& name) { return PrivateTempFolder() + name; }

std::string write_archive(TVrFileCollection& c, const std::string& name) {
    std::string path = temp_file(name);
    {
        TWzBigFileStream out(path, fmCreate);
        EXPECT_TRUE(c.SaveToStream(out));
    }
    return ReadFileBytes(path);
}

void expect_corrupt(const std::string& file, const std::string& words) {
    TVrFileCollection c;
    try {
        c.Open(sample(file));
        ADD_FAILURE() << file << " opened without error";
    } catch (const ECorruptData& e) {
        EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << file << ": " << e.what();
    }
    EXPECT_EQ(c.Count(), 0);
    EXPECT_EQ(c.Source, nullptr);
}
}  // namespace

TEST(VrFileCollection, ReadsEveryStoredForm) {
    // Untagged and version 100: every entry packed, no tables.
    for (const char* name : {"v0.dat", "v100.dat"}) {
        SCOPED_TRACE(name);
        TVrFileCollection c;
        c.Open(sample(name));
        ASSERT_EQ(c.Count(), 4);  // three entries and the sentinel
        EXPECT_EQ(c.GetEntry(3)->GetName(), "\\EOF\\");
        EXPECT_EQ(c.GetEntry(3)->Offset, static_cast<int64_t>(ReadFileBytes(sample(name)).size()));
        EXPECT_EQ(c.GetEntry(1)->GetName(), kJapaneseName);
        EXPECT_EQ(c.GetEntry(0)->Raw, 0);
        EXPECT_EQ(load(c, "SCRIPT\\Start.vsb"), scenario_text());
        EXPECT_EQ(load(c, kJapaneseName), byte_ramp(8));
        EXPECT_EQ(load(c, "empty"), "");
        EXPECT_EQ(c.FindEntry("\\eof\\"), nullptr);
    }
    // 101 and 102 in a file of their own, appended to an executable, and
    // with a side directory (side.dat holds no directory at all).
    for (const char* name : {"v101.dat", "v102.dat", "app.exe", "side.dat"}) {
        SCOPED_TRACE(name);
        TVrFileCollection c;
        c.Open(sample(name));
        ASSERT_EQ(c.Count(), 5);
        EXPECT_EQ(c.BaseFolder, sample(""));
        EXPECT_EQ(load(c, "script\\start.vsb"), scenario_text());
        EXPECT_EQ(load(c, "se\\click.wav"), "RIFF" + std::string(500, '\0'));
        EXPECT_EQ(load(c, kJapaneseName), byte_ramp(8));
        EXPECT_EQ(load(c, "zero.dat"), "");
        TVrFile* wav = c.FindEntry("se\\click.wav");
        EXPECT_EQ(wav->Raw, 1);
        EXPECT_EQ(wav->Size, 504);
        EXPECT_EQ(wav->Date, 0x5A2E6001u);
        EXPECT_EQ(c.FindEntry("script\\start.vsb")->Date, 0x5A2E6000u);
        EXPECT_EQ(c.FindEntry(kJapaneseName)->CrcMode, std::string(name) == "v101.dat" ? 0 : 1);
        // CRC as Python's zlib.crc32 gave it: over the content in mode 1.
        if (std::string(name) != "v101.dat") {
            TMemoryStream ramp;
            std::string r = byte_ramp(8);
            ramp.WriteBuffer(r.data(), static_cast<int64_t>(r.size()));
            EXPECT_EQ(c.FindEntry(kJapaneseName)->Crc, StreamCrc32(ramp));
        }
    }
}

TEST(VrFileCollection, HostileDirectoriesGiveClearErrors) {
    expect_corrupt("huge_count.dat", "(entry count)");
    expect_corrupt("name_past_end.dat", "(entry name)");
    expect_corrupt("bad_version.dat", "unknown version 103");
    expect_corrupt("offsets_backwards.dat", "negative size");
    expect_corrupt("offset_past_end.dat", "outside the archive");
    expect_corrupt("truncated.dat", "(entry count)");
    // Every prefix of a good archive is refused cleanly or read consistently.
    std::string good = ReadFileBytes(sample("v102.dat"));
    for (size_t cut = 0; cut < good.size(); cut += 7) {
        std::string path = temp_file("cut.dat");
        std::ofstream(NativePath(path), std::ios::binary).write(good.data(), static_cast<std::streamsize>(cut));
        TVrFileCollection c;
        try {
            c.Open(path);
        } catch (const ECorruptData&) {
            continue;
        }
        ADD_FAILURE() << "a cut at " << cut << " was accepted";
    }
    // An executable whose trailer points past its end.
    std::string exe = temp_file("bad.exe");
    std::ofstream(NativePath(exe), std::ios::binary) << std::string("MZ\xff\xff\xff\x7fvq", 8);
    TVrFileCollection c;
    EXPECT_THROW(c.Open(exe), ECorruptData);
}

TEST(VrFileCollection, NameLengthBeyondTheDirectoryIsRefusedBeforeSizing) {
    // Version 0: one entry whose name claims nearly 2 GiB of a 28-byte stream.
    TWzBigMemoryStream dir;
    const uint8_t bytes[28] = {1, 0, 0, 0, 0xF0, 0xFF, 0xFF, 0x7F};
    dir.Write(bytes, sizeof bytes);
    dir.SetPosition(0);
    TVrFileCollection c;
    try {
        c.ReadDirectory(dir);
        ADD_FAILURE() << "accepted";
    } catch (const ECorruptData& e) {
        EXPECT_NE(e.Message().find("(entry name)"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(c.Count(), 0);
}

namespace {
// The player's own file, salvaged and its entries checked.
TVrSalvageReport open_checked(TVrFileCollection& c, const std::string& path, const TVrNameRule* names = nullptr) {
    TVrSalvageReport report = c.OpenOwnArchive(path, names);
    c.CheckEntries(report);
    return report;
}
}  // namespace

TEST(VrFileCollection, SalvagingACutFileKeepsWhatItHoldsAndNamesTheRest) {
    // Every prefix: refused while the directory is cut, else each entry is
    // kept when its bytes lie inside and loads as from the whole file, or is
    // named as left out.
    const std::string good = ReadFileBytes(sample("v102.dat"));
    TVrFileCollection whole;
    whole.Open(sample("v102.dat"));
    const std::string path = temp_file("salvage.dat");
    for (size_t cut = 0; cut <= good.size(); ++cut) {
        SCOPED_TRACE(cut);
        std::ofstream(NativePath(path), std::ios::binary | std::ios::trunc).write(good.data(), static_cast<std::streamsize>(cut));
        TVrFileCollection c;
        std::vector<std::string> dropped;
        try {
            dropped = open_checked(c, path).Dropped;
        } catch (const ECorruptData&) {
            EXPECT_LT(static_cast<int64_t>(cut), whole.GetEntry(0)->Offset);
            continue;
        }
        EXPECT_GE(static_cast<int64_t>(cut), whole.GetEntry(0)->Offset);
        for (int i = 0; i + 1 < whole.Count(); ++i) {
            const TVrFile& e = *whole.GetEntry(i);
            const bool inside = e.Offset + e.Size <= static_cast<int64_t>(cut);
            EXPECT_EQ(c.FindEntry(e.GetName()) != nullptr, inside) << e.GetName();
            EXPECT_EQ(std::count(dropped.begin(), dropped.end(), e.GetName()), inside ? 0 : 1) << e.GetName();
            if (inside) {
                EXPECT_EQ(load(c, e.GetName()), load(whole, e.GetName()));
            }
        }
    }
}

namespace {
// A file whose writer gives only these names; "GAMESAVEDATA1" comes before
// "GAMESAVEDATA12", so a length one short still spells one of them.
const std::vector<std::string> kKnownNames = {"GAMESAVEDATA1", "GAMESAVEDATA12", "GAMESAVEDATA3", "STATUSSAVEDATA"};
const TVrNameRule kKnownRule{
    [](std::string_view n) { return std::find(kKnownNames.begin(), kKnownNames.end(), n) != kKnownNames.end(); }, 13,
    22};
std::string known_content(const std::string& name) { return name + scenario_text().substr(0, 400); }

std::string known_archive() {
    TVrFileCollection c;
    for (const std::string& name : kKnownNames) {
        const std::string text = known_content(name);
        c.AddEntry(name)->Data->WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
    }
    return write_archive(c, "known.dat");
}

// Opens bytes salvaging with the known names; every entry it keeps loads
// as written, and those it leaves out are named.
TVrSalvageReport salvage_known(const std::string& bytes, std::vector<std::string>& kept) {
    const std::string path = temp_file("known_spoilt.dat");
    std::ofstream(NativePath(path), std::ios::binary | std::ios::trunc) << bytes;
    TVrFileCollection c;
    const TVrSalvageReport report = open_checked(c, path, &kKnownRule);
    kept.clear();
    for (int i = 0; i + 1 < c.Count(); ++i) {
        kept.push_back(c.GetEntry(i)->GetName());
        EXPECT_EQ(load(c, kept.back()), known_content(kept.back()));
    }
    return report;
}
}  // namespace

TEST(VrFileCollection, SalvagingFindsTheEntriesBehindASpoiltHeadCountOrNameLengthByTheirNames) {
    const std::string good = known_archive();
    // The head ("vf", version, entry count) and each name's length.
    std::vector<size_t> spoilable = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    for (int k = 0; k < static_cast<int>(kKnownNames.size()); ++k)
        for (size_t b = 0; b < 4; ++b) spoilable.push_back(ArchiveNameAt(good, k) + b);
    std::vector<std::pair<std::string, std::string>> cases;
    for (const size_t at : spoilable)
        for (const int bit : {0x01, 0x80}) {
            std::string bytes = good;
            bytes[at] = static_cast<char>(bytes[at] ^ bit);
            cases.emplace_back("byte " + std::to_string(at) + " ^ " + std::to_string(bit), bytes);
        }
    std::string no_count = good;
    for (size_t i = 6; i < 10; ++i) no_count[i] = 0;
    cases.emplace_back("an entry count of 0", no_count);
    std::vector<std::string> kept;
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        const TVrSalvageReport report = salvage_known(bytes, kept);
        EXPECT_TRUE(report.DirectorySpoilt);
        EXPECT_TRUE(report.Dropped.empty());
        EXPECT_EQ(kept, kKnownNames);
    }
    // The whole file is no damage; where the first offset is spoilt too,
    // nothing can be found, which is damage all the same.
    EXPECT_FALSE(salvage_known(good, kept).Damaged());
    std::string lost = no_count;
    lost[ArchiveNameAt(good, static_cast<int>(kKnownNames.size()))] ^= 0x01;  // the first offset
    EXPECT_TRUE(salvage_known(lost, kept).DirectorySpoilt);
    EXPECT_TRUE(kept.empty());
}

TEST(VrFileCollection, FlippedDirectoryBitsNeverCrash) {
    // Every single-bit change of the directory either is refused or gives
    // entries that load (or raise) cleanly; salvaging keeps only entries
    // whose bytes lie inside the file.
    std::string good = ReadFileBytes(sample("v102.dat"));
    std::string path = temp_file("flip.dat");
    for (size_t i = 0; i < 160; ++i) {
        for (int trial = 0; trial < 4; ++trial) {
            const bool salvage = trial >= 2;
            std::string bad = good;
            bad[i] = static_cast<char>(bad[i] ^ (trial % 2 ? 0x80 : 0x01));
            std::ofstream(NativePath(path), std::ios::binary | std::ios::trunc) << bad;
            TVrFileCollection c;
            try {
                if (salvage)
                    open_checked(c, path);
                else
                    c.Open(path);
            } catch (const ECorruptData&) {
                continue;
            }
            for (int k = 0; k + 1 < c.Count(); ++k) {
                EXPECT_GE(c.GetEntry(k)->Offset, 0);
                EXPECT_LE(c.GetEntry(k)->Offset + c.GetEntry(k)->Size, static_cast<int64_t>(bad.size()));
            }
            for (int k = 0; k < c.Count(); ++k) {
                TMemoryStream m;
                try {
                    c.LoadToStream(m, c.GetEntry(k)->GetName());
                } catch (const Exception&) {
                }
                EXPECT_LE(m.GetSize(), 1 << 20);
            }
        }
    }
}

TEST(VrFileCollection, DamagedPackedEntryRaisesAndLeavesStreamEmpty) {
    TVrFileCollection c;
    c.Open(sample("bad_zlib.dat"));
    TMemoryStream m;
    m.WriteBuffer("old", 3);
    try {
        c.LoadToStream(m, "bad.txt");
        FAIL() << "no error";
    } catch (const ECorruptData& e) {
        EXPECT_NE(std::string(e.what()).find("bad.txt"), std::string::npos) << e.what();
    }
    EXPECT_EQ(m.GetSize(), 0);
    EXPECT_THROW(load(c, "missing.txt"), Exception);
    try {
        load(c, "missing.txt");
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "missing.txt" + Sjis(":ファイルがありません"));
    }
}

TEST(VrFileCollection, WriterMatchesPythonBytes) {
    // The loose files with known dates and CRC modes, in a folder of our own.
    namespace fs = std::filesystem;
    std::string folder = temp_file("loose/");
    fs::remove_all(NativePath(folder));
    fs::copy(NativePath(sample("loose")), NativePath(folder), fs::copy_options::recursive);
    const char* names[] = {"text\\b.txt", "se\\a.wav", "c.txt", "empty.txt", "img\\u.tes", "img\\c.tes", "画像\\絵.bmp"};
    std::ifstream dates(NativePath(sample("loose_dates.txt")));
    TVrFileCollection c;
    c.BaseFolder = folder;
    for (const char* utf8 : names) {
        std::string name = Sjis(utf8);
        uint32_t dos = 0;
        int mode = 0;
        dates >> dos >> mode;
        struct utimbuf t;
        t.actime = t.modtime = static_cast<time_t>(UnixFromDosDateTime(static_cast<int32_t>(dos)));
        ASSERT_EQ(utime(NativePath(folder + name).c_str(), &t), 0) << utf8;
        c.AddFileEntry(name)->CrcMode = static_cast<uint8_t>(mode);
    }
    TVrFile* mem = c.AddEntry("mem\\data.bin");
    mem->Data->LoadFromFile(sample("memory.bin"));
    std::string written = write_archive(c, "written.dat");
    std::string expected = ReadFileBytes(sample("written.dat"));
    ASSERT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected);
    EXPECT_EQ(c.FindEntry("c.txt")->Raw, 1);       // packing saved too little
    EXPECT_EQ(c.FindEntry("img\\u.tes")->Raw, 0);  // uncompressed image: packed
    EXPECT_EQ(c.FindEntry("img\\c.tes")->Raw, 1);
}

TEST(VrFileCollection, RoundTripAndRepackKeepEveryEntry) {
    TVrFileCollection c;
    std::string big(static_cast<size_t>(kVrPackLimit), 'x');
    std::string small = scenario_text();
    c.AddEntry("big.bin")->Data->WriteBuffer(big.data(), static_cast<int64_t>(big.size()));
    TVrFile* s = c.AddEntry("Small.txt");
    s->Data->WriteBuffer(small.data(), static_cast<int64_t>(small.size()));
    s->CrcMode = 1;
    c.AddEntry("empty");
    TVrFile* just_under = c.AddEntry("under.bin");
    std::string under(static_cast<size_t>(kVrPackLimit - 1), 'y');
    just_under->Data->WriteBuffer(under.data(), static_cast<int64_t>(under.size()));
    std::string first = write_archive(c, "rt1.dat");
    EXPECT_EQ(first, write_archive(c, "rt1b.dat"));  // the generators restart per archive

    TVrFileCollection back;
    back.Open(temp_file("rt1.dat"));
    ASSERT_EQ(back.Count(), 5);
    EXPECT_EQ(back.FindEntry("big.bin")->Raw, 1);
    EXPECT_EQ(back.FindEntry("under.bin")->Raw, 0);
    EXPECT_EQ(back.FindEntry("small.txt")->CrcMode, 1);
    EXPECT_EQ(load(back, "big.bin"), big);
    EXPECT_EQ(load(back, "small.txt"), small);
    EXPECT_EQ(load(back, "under.bin"), under);
    EXPECT_EQ(load(back, "empty"), "");

    // Re-packing the opened archive reproduces it byte for byte: raw flags,
    // CRC modes and CRCs are kept, nothing is packed twice.
    std::string again = write_archive(back, "rt2.dat");
    EXPECT_TRUE(again == first);

    // An empty archive reads back as the sentinel alone.
    TVrFileCollection none;
    write_archive(none, "none.dat");
    none.Open(temp_file("none.dat"));
    ASSERT_EQ(none.Count(), 1);
    EXPECT_EQ(none.GetEntry(0)->GetName(), "\\EOF\\");

    // A cancelled write reports false.
    int calls = 0;
    c.OnProgress = [&](TVrFileCollection&, TVrFile& e, int64_t written, int index, int count, bool& cancel) {
        ++calls;
        EXPECT_EQ(count, 4);
        if (index == 1 && written > 0) cancel = true;
        if (index == 0 && written > 0) {
            EXPECT_EQ(written, kVrPackLimit);
        }
        (void)e;
    };
    TWzBigFileStream out(temp_file("cancel.dat"), fmCreate);
    EXPECT_FALSE(c.SaveToStream(out));
    EXPECT_EQ(calls, 4);
}

TEST(VrFileCollection, RangeStreamsShowOnlyTheEntry) {
    TVrFileCollection c;
    c.Open(sample("v102.dat"));
    auto wav = c.OpenRangeStream("se\\click.wav");
    ASSERT_NE(wav, nullptr);
    EXPECT_EQ(wav->GetSize(), 504);
    EXPECT_EQ(StreamBytes(*wav), "RIFF" + std::string(500, '\0'));
    // A zero-size entry is empty, not the rest of the archive.
    auto zero = c.OpenRangeStream("zero.dat");
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(zero->GetSize(), 0);
    // A packed entry is never shown as its stored bytes.
    auto text = c.OpenRangeStream("script\\start.vsb");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(StreamBytes(*text), scenario_text());
    EXPECT_EQ(c.OpenRangeStream("nothing"), nullptr);
}

TEST(VrFileCollection, ResourceArchives) {
    static std::string bytes = ReadFileBytes(sample("v102.dat"));
    RegisterResource("DUMMY", "BINTYPE", {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
    TVrFileCollection c;
    c.OpenResource(ExeFileName(), "dummy", "bintype");
    EXPECT_EQ(load(c, "script\\start.vsb"), scenario_text());
    auto wav = c.OpenRangeStream("se\\click.wav");
    ASSERT_NE(wav, nullptr);
    EXPECT_EQ(StreamBytes(*wav), "RIFF" + std::string(500, '\0'));
    // Another module's resources cannot be had: the archive stays empty.
    c.OpenResource("/nonexistent/other.dll", "DUMMY", "BINTYPE");
    EXPECT_EQ(c.Count(), 0);
    UnregisterResource("DUMMY", "BINTYPE");
    try {
        c.OpenResource("", "DUMMY", "BINTYPE");
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), Sjis("リソースが見つかりません"));
    }
}

TEST(VrFileCollection, PackingRuleByExtensionAndSize) {
    TMemoryStream small;
    small.SetSize(100);
    EXPECT_TRUE(ShouldPackEntry("a.txt", small));
    EXPECT_TRUE(ShouldPackEntry("noext", small));
    // A plain substring search over ".WAV.WMA.OGG.MPG.MPEG.WMV.ASF.DAT.".
    for (const char* n : {"a.wav", "b.OGG", "c.mp", "d.w", "e.dat", "f.mpeg"}) EXPECT_FALSE(ShouldPackEntry(n, small)) << n;
    TMemoryStream limit;
    limit.SetSize(kVrPackLimit);
    EXPECT_FALSE(ShouldPackEntry("a.txt", limit));
    limit.SetSize(kVrPackLimit - 1);
    EXPECT_TRUE(ShouldPackEntry("a.txt", limit));
    // Old layered images (before 103) and foreign files are kept raw.
    TMemoryStream old_tesk;
    old_tesk.WriteBuffer("Tesk102", 7);
    EXPECT_FALSE(ShouldPackEntry("x.tes", old_tesk));
}

TEST(VrFileCollection, LooseFilesOverrideEntriesButNotTheArchiveItself) {
    std::string folder = temp_file("override/");
    ForceDirectories(folder);
    std::filesystem::copy_file(NativePath(sample("v102.dat")), NativePath(folder + "game.dat"),
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(NativePath(folder + "zero.dat")) << "loose";
    TVrFileCollection c;
    c.Open(folder + "game.dat");
    EXPECT_EQ(load(c, "ZERO.DAT"), "loose");
    // A loose file in the base folder is still the source when re-packing.
    EXPECT_THROW(load(c, "game.dat"), Exception);
}

TEST(VrFileCollection, AnEntryThatUnpacksBeyondTheCapIsRefused) {
    // An untagged directory of one packed entry whose 260 KB unpack to 257 MiB of zeros.
    std::string packed;
    {
        z_stream z{};
        ASSERT_EQ(deflateInit(&z, 1), Z_OK);
        const std::vector<uint8_t> zeros(1 << 20, 0);
        std::vector<uint8_t> buf(1 << 20);
        for (int i = 0; i < 257; ++i) {
            z.next_in = const_cast<uint8_t*>(zeros.data());
            z.avail_in = static_cast<uInt>(zeros.size());
            do {
                z.next_out = buf.data();
                z.avail_out = static_cast<uInt>(buf.size());
                deflate(&z, i == 256 ? Z_FINISH : Z_NO_FLUSH);
                packed.append(reinterpret_cast<char*>(buf.data()), buf.size() - z.avail_out);
            } while (z.avail_out == 0);
        }
        deflateEnd(&z);
    }
    auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    const std::string name = "big.bin";
    const uint32_t dir_size = 4 + 4 + static_cast<uint32_t>(name.size()) + 8;
    const std::string archive = u32(1) + u32(static_cast<uint32_t>(name.size())) + name + u32(dir_size) +
                                u32(dir_size + static_cast<uint32_t>(packed.size())) + packed;
    const std::string path = temp_file("big_entry.dat");
    std::ofstream(NativePath(path), std::ios::binary).write(archive.data(), static_cast<std::streamsize>(archive.size()));
    TVrFileCollection c;
    c.Open(path);
    TMemoryStream out;
    try {
        c.LoadToStream(out, name);
        FAIL() << "unpacked " << out.GetSize() << " bytes";
    } catch (const ECorruptData& e) {
        EXPECT_NE(e.Message().find("unpacks to more than"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(out.GetSize(), 0);
}
