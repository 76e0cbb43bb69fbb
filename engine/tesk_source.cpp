#include "engine/tesk_source.h"

#include "engine/project.h"
#include "files/vr_file_manager.h"
#include "platform/exception.h"

bool TProjectTeskSource::FileExists(const std::string& name) { return ProjectFileExists(name); }

bool TProjectTeskSource::ManagerFileExists(const std::string& name) {
    return !name.empty() && FileManager && FileManager->FileExists(name);
}

void TProjectTeskSource::LoadToStream(TStream& stream, const std::string& name) {
    if (!FileManager) throw EFOpenError("No file manager to read " + name);
    FileManager->LoadToStream(stream, name);
}

uint32_t TProjectTeskSource::IdCode() { return Project ? Project->IdCode : 0; }

TProjectTeskSource& ProjectTeskSource() {
    static TProjectTeskSource source;
    return source;
}
