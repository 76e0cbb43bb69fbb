// The image cache's view of the running game: pictures are looked up with
// the project's file test, read through the global file manager and
// unscrambled with the project's identification code.
#pragma once
#include "render/tesk_collection.h"

class TProjectTeskSource : public TTeskSource {
public:
    bool FileExists(const std::string& name) override;
    bool ManagerFileExists(const std::string& name) override;
    // Raises EFOpenError when there is no file manager.
    void LoadToStream(TStream& stream, const std::string& name) override;
    // 0 while no project runs.
    uint32_t IdCode() override;
};

// The one instance the player hands to InitDisplayObjects.
TProjectTeskSource& ProjectTeskSource();
