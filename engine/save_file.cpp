#include "engine/save_file.h"

#include "engine/game_save.h"
#include "files/field_reader.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/replace_file.h"
#include "platform/text/codepage.h"

#include <sys/stat.h>

namespace {

std::string key_of(const std::string& name) { return AnsiUpperCase(name); }

int64_t ns_of(const timespec& t) { return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; }

}  // namespace

TSaveFile::TSaveFile(std::string path) : path_(std::move(path)) {}

TSaveFile::Signature TSaveFile::signature_of(const std::string& path) {
    struct stat st;
    Signature s;
    // Only a regular file is read: a device, a FIFO or a folder in its
    // place holds no slots (and a read of one may never end).
    if (::stat(NativePath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return s;
    s.Exists = true;
    s.Dev = st.st_dev;
    s.Ino = st.st_ino;
    s.Size = st.st_size;
    s.Mtime = ns_of(st.st_mtim);
    s.Ctime = ns_of(st.st_ctim);
    return s;
}

void TSaveFile::Refresh() {
    const Signature now = signature_of(path_);
    if (current_ && now == read_) return;
    read(now);
}

void TSaveFile::forget(const Signature& now) {
    read_ = now;
    current_ = true;
    states_.clear();
    captions_.clear();
    mended_.clear();
    damaged_ = false;
    directory_lost_ = false;
    open_error_.clear();
}

void TSaveFile::read(const Signature& now) {
    // Another file than the one read last: its damage is news, and a copy
    // kept of the last one is no copy of it.
    if (!(now == read_)) {
        told_ = false;
        kept_.clear();
    }
    forget(now);
    // Another user's link (in a folder that user may write to) leads to no
    // save of ours: it is neither read nor, at the next save, replaced.
    if (now.Exists && !LinksFollowedForWriting(path_)) {
        open_error_ = FileFaultMessage(FileFault::Open, path_);
        return;
    }
    TVrSalvageReport report;
    try {
        report = archive_.OpenOwnArchive(now.Exists ? path_ : std::string(), &SaveEntryNames());
    } catch (const EFOpenError& e) {
        open_error_ = e.Message();
        return;
    } catch (const ECorruptData&) {
        // No directory left to read: the file holds nothing usable.
        damaged_ = directory_lost_ = true;
        return;
    }
    check_entries(report);
}

void TSaveFile::ReadImage(std::unique_ptr<TWzBigStream> image) {
    told_ = false;
    kept_.clear();
    forget(Signature());
    archive_.OpenOwnArchive(std::string());
    TVrSalvageReport report;
    try {
        report = archive_.SalvageDirectory(*image, -1, &SaveEntryNames());
    } catch (const ECorruptData&) {
        damaged_ = directory_lost_ = true;
        return;
    }
    archive_.Source = std::move(image);
    check_entries(report);
}

void TSaveFile::check_entries(const TVrSalvageReport& report) {
    damaged_ = report.Damaged();
    for (const std::string& name : report.Dropped) states_[key_of(name)] = TSaveEntryState::Damaged;
    for (int i = 0; i < archive_.Count(); ++i) {
        const TVrFile& e = *archive_.GetEntry(i);
        if (AnsiSameText(e.GetName(), kVrSentinelName)) continue;
        const std::string key = key_of(e.GetName());
        TSaveEntryState& state = states_[key];
        state = TSaveEntryState::Damaged;
        auto content = std::make_unique<TMemoryStream>();
        const TVrEntryCheck check = archive_.CheckEntry(e, content.get());
        if (check == TVrEntryCheck::Spoilt) {
            damaged_ = true;
            continue;
        }
        try {
            // Whole means it unpacks, and a slot's head reads.
            if (content->GetSize() == 0) archive_.LoadEntry(e, *content);
            if (GameSaveSlotOf(e.GetName()) >= 0) {
                content->SetPosition(0);
                FieldReader r(*content, Sjis("セーブデータが壊れています"));
                r.U32("save version");
                captions_[key] = r.String("caption");
            }
        } catch (const ECorruptData&) {
            damaged_ = true;
            continue;
        }
        state = TSaveEntryState::Whole;
        if (check == TVrEntryCheck::Mended) {
            damaged_ = true;
            content->SetPosition(0);
            mended_[key] = std::move(content);
        }
    }
}

TSaveEntryState TSaveFile::State(const std::string& name) const {
    const auto at = states_.find(key_of(name));
    if (at != states_.end()) return at->second;
    return directory_lost_ ? TSaveEntryState::Damaged : TSaveEntryState::Missing;
}

void TSaveFile::Load(const std::string& name, TMemoryStream& out) {
    if (State(name) != TSaveEntryState::Whole) throw ECorruptData(name + " is damaged or missing in save.dat");
    if (const auto at = mended_.find(key_of(name)); at != mended_.end()) {
        out.Clear();
        out.WriteBuffer(at->second->Memory(), at->second->GetSize());
        out.SetPosition(0);
        return;
    }
    const TVrFile* e = archive_.FindEntry(name);
    if (!e) throw ECorruptData(name + " is missing in save.dat");
    archive_.LoadEntry(*e, out);
}

std::vector<std::pair<int32_t, std::string>> TSaveFile::Captions() const {
    std::vector<std::pair<int32_t, std::string>> out;
    for (int i = 0; i < archive_.Count(); ++i) {
        const std::string& name = archive_.GetEntry(i)->GetName();
        const auto at = captions_.find(key_of(name));
        if (at != captions_.end() && State(name) == TSaveEntryState::Whole)
            out.emplace_back(GameSaveSlotOf(name), at->second);
    }
    return out;
}

void TSaveFile::MarkDamaged(const std::string& name) {
    states_[key_of(name)] = TSaveEntryState::Damaged;
    damaged_ = true;
}

bool TSaveFile::TakeDamageToTell() {
    if (!damaged_ || told_) return false;
    told_ = true;
    return true;
}

void TSaveFile::BuildImage(const std::string* names, const TMemoryStream* const* contents, int count,
                           TWzBigMemoryStream& out) {
    Refresh();
    if (!open_error_.empty()) throw EFOpenError(open_error_);
    // The entries change below: what was read is read again when next asked.
    current_ = false;
    for (int i = archive_.Count() - 1; i >= 0; --i) {
        TVrFile& e = *archive_.GetEntry(i);
        if (AnsiSameText(e.GetName(), kVrSentinelName)) continue;
        if (State(e.GetName()) != TSaveEntryState::Whole) {
            archive_.Delete(i);
        } else if (const auto at = mended_.find(key_of(e.GetName())); at != mended_.end()) {
            // Packed anew, under a checksum of its own again (over the
            // content or the packed bytes: a spoilt mode byte says neither).
            e.CrcMode = e.CrcMode == 1 ? 1 : 0;
            e.Data = std::make_unique<TWzMemoryStream>();
            e.Data->WriteBuffer(at->second->Memory(), at->second->GetSize());
        }
    }
    for (int i = 0; i < count; ++i) {
        TVrFile* e = archive_.FindEntry(names[i]);
        if (!e) e = archive_.AddEntry(names[i]);
        e->Data = std::make_unique<TWzMemoryStream>();
        const auto bytes = contents[i]->Bytes();
        e->Data->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    }
    out.Inner().Clear();
    archive_.SaveToStream(out);
}

std::string TSaveFile::Store(const std::string* names, const TMemoryStream* const* contents, int count) {
    Refresh();
    // A copy kept of a file that then stays as it is would be kept again at
    // every save.
    CheckFileReplaceable(path_);
    if (!open_error_.empty()) throw EFOpenError(open_error_);
    // Replacing a damaged file loses its damaged bytes: they are kept first,
    // once, however many writes fail before one goes through.
    if (damaged_ && kept_.empty() && read_.Exists) kept_ = KeepFileCopy(path_, ".damaged");
    TWzBigMemoryStream image;
    BuildImage(names, contents, count, image);
    TMemoryStream& m = image.Inner();
    ReplaceFileContents(path_, m.Memory(), static_cast<size_t>(m.GetSize()));
    const std::string kept = kept_;
    Refresh();
    return kept;
}
