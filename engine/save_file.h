// save.dat as the player knows it: read and checked once for each change of
// the file (its directory salvaged, each entry's checksum taken once, each
// slot's head read), every entry kept with its state, and the slot
// captions, the status, a load and the next write all served from that.
// It is read only as the player's own plain archive: never through a side
// directory or an executable's trailer, never with a loose file standing
// in for an entry.
#pragma once
#include "files/big_stream.h"
#include "files/vr_file_collection.h"

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

enum class TSaveEntryState {
    Missing,  // not in the file (a file whose directory is lost holds every name, damaged)
    Whole,    // loads (a spoilt checksum beside a packed stream that unpacks whole included)
    Damaged,  // named in the file but unusable
};

class TSaveFile {
public:
    explicit TSaveFile(std::string path);
    const std::string& Path() const { return path_; }

    // Reads the file again when it is not the one read or written last.
    void Refresh();
    // The bytes of a save file from a stream instead of from Path(): the
    // fuzz target and its seeds.
    void ReadImage(std::unique_ptr<TWzBigStream> image);

    // What the file read last holds.
    TSaveEntryState State(const std::string& name) const;
    // A whole entry's content at position 0. Raises ECorruptData for any
    // other state.
    void Load(const std::string& name, TMemoryStream& out);
    // Slot and caption of each whole slot, in the file's order.
    std::vector<std::pair<int32_t, std::string>> Captions() const;
    // The entry's record was found not to read: it counts as damage.
    void MarkDamaged(const std::string& name);
    // Something in the file is damaged: its directory, an entry, a record,
    // or only a checksum.
    bool Damaged() const { return damaged_; }
    // Why the system would not open the file ("" when it did, or there is
    // none): no damage, but nothing may be written over what was not read.
    const std::string& OpenError() const { return open_error_; }

    // True once for a damaged file: the player is to be told now.
    bool TakeDamageToTell();

    // The archive image of the file with each names[i] replaced by (or
    // added with) contents[i]: whole entries are carried over, damaged ones
    // left out. A whole entry whose checksum was spoilt is packed anew.
    void BuildImage(const std::string* names, const TMemoryStream* const* contents, int count,
                    TWzBigMemoryStream& out);
    // Writes the file as BuildImage makes it (a synced temporary renamed
    // over it). A damaged file is first kept byte for byte beside itself
    // ("save.dat.damaged", then ".2", ...), once however many writes it
    // takes to replace it. A file that may not be written, or was not
    // read, is refused before any copy is made. Returns the kept copy's
    // path once, with the write that replaced the damaged file; "" else.
    std::string Store(const std::string* names, const TMemoryStream* const* contents, int count);

private:
    struct Signature {
        bool Exists = false;
        dev_t Dev = 0;
        ino_t Ino = 0;
        off_t Size = 0;
        int64_t Mtime = 0, Ctime = 0;
        bool operator==(const Signature&) const = default;
    };
    static Signature signature_of(const std::string& path);
    // Nothing known but that the file of that signature is the one read.
    void forget(const Signature& now);
    void read(const Signature& now);
    void check_entries(const TVrSalvageReport& report);

    std::string path_;
    TVrFileCollection archive_;
    std::map<std::string, TSaveEntryState> states_;      // by upper-cased name
    std::map<std::string, std::string> captions_;        // of whole slots, by upper-cased name
    std::map<std::string, std::unique_ptr<TMemoryStream>> mended_;  // contents of entries whose checksum was spoilt
    Signature read_;         // of the file read last
    bool current_ = false;   // what was read still stands for the file of that signature
    bool damaged_ = false;
    bool directory_lost_ = false;  // no directory could be read: any entry may have been there
    std::string open_error_;
    // Two facts of a damaged file: the player was told, and a copy of it
    // was kept (its path).
    bool told_ = false;
    std::string kept_;
};
