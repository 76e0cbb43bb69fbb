#include "fixture_writers.h"

#include "engine/game_save.h"
#include "files/big_stream.h"
#include "files/save_stream.h"
#include "files/vocab.h"
#include "files/vr_file_collection.h"
#include "platform/filesystem/filesys.h"

#include <atomic>
#include <filesystem>

TProjectFileData TestProjectData(const std::string& start_page, uint32_t version) {
    TProjectFileData d;
    d.Version = version;
    d.Title = "test game";
    d.Width = 640;
    d.Height = 480;
    d.StartPage = start_page;
    d.SoundExtensions = ".wav.wma.ogg.mid";
    d.DiscPrompt = "disc %d";
    d.QuitText = "quit";
    return d;
}

TMemoryStream StreamOf(const std::string& bytes) {
    TMemoryStream m;
    m.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    m.SetPosition(0);
    return m;
}

std::string ProjectFileBytes(const TProjectFileData& data) {
    TMemoryStream m;
    WriteProjectFile(m, data);
    auto b = m.Bytes();
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

TTestGameFolder::TTestGameFolder() {
    static std::atomic<int> counter{0};
    path_ = PrivateTempFolder() + "game" + std::to_string(counter++) + "/";
    ForceDirectories(path_);
}

TTestGameFolder::~TTestGameFolder() {
    std::error_code ec;
    std::filesystem::remove_all(NativePath(path_), ec);
}

void TTestGameFolder::WriteFile(const std::string& name, const std::string& bytes) {
    TMemoryStream m;
    m.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    m.SaveToFile(path_ + name);
}

void TTestGameFolder::WriteProject(const TProjectFileData& data) { WriteFile("vorq.vpb", ProjectFileBytes(data)); }

void TTestGameFolder::WritePage(const std::string& name, const TPageWriter& page) { WriteFile(name, page.Bytes()); }

void WriteCountingGame(TTestGameFolder& game, bool save_slot) {
    TPageWriter page;
    page.Calc("count = count + 1");
    if (save_slot) page.GameSave("count", "\"slot\"");
    page.Terminate();
    game.WritePage("main.vsb", page);
    TProjectFileData project = TestProjectData("main.vsb");
    project.SleepBetweenFrames = true;  // so that the start-up logo ends within the frames allowed
    TProjectFileData::Variable count;
    count.Type = PT_INT;
    count.Name = "count";
    project.Variables.push_back(count);
    game.WriteProject(project);
}

void TTestGameFolder::WriteWaitingGame() {
    TPageWriter page;
    page.Wait("1000000");
    WritePage("main.vsb", page);
    WriteProject(TestProjectData("main.vsb"));
}

void TTestGameFolder::WriteArchive(const std::string& archive_name, const std::map<std::string, std::string>& files) {
    TVrFileCollection c;
    for (auto& [name, bytes] : files)
        c.AddEntry(name)->Data->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    TWzBigFileStream out(path_ + archive_name, fmCreate);
    c.SaveToStream(out);
}

std::string LongCaptionRecord() {
    std::string caption(3000, ' ');
    for (size_t i = 0; i < caption.size(); ++i) caption[i] = static_cast<char>('a' + (i * 7 + i / 13) % 26);
    TMemoryStream m;
    WriteStreamInteger(m, static_cast<int32_t>(kGameSaveVersion));
    WriteStreamString(m, caption);
    WriteStreamString(m, "");
    WriteStreamInteger(m, 0);
    return std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.GetSize()));
}

std::string LongCaptionSaveFile(size_t* flip_at) {
    const std::string record = LongCaptionRecord();
    TVrFileCollection a;
    for (const std::string& name : {GameSaveEntryName(1), std::string(kStatusEntryName)})
        a.AddEntry(name)->Data->WriteBuffer(record.data(), static_cast<int64_t>(record.size()));
    TWzBigMemoryStream image;
    a.SaveToStream(image);
    TVrFileCollection written;
    image.SetPosition(0);
    written.SalvageDirectory(image, -1, nullptr);
    *flip_at = static_cast<size_t>(written.FindEntry(GameSaveEntryName(1))->Offset) * 8 + kAdlerMissedBit;
    return std::string(reinterpret_cast<const char*>(image.Inner().Memory()),
                       static_cast<size_t>(image.Inner().GetSize()));
}
