#include "shell/player_entry.h"

#include "chrome/form_config.h"
#include "chrome/icon_chooser.h"
#include "chrome/message_dialog.h"
#include "shell/form_view.h"
#include "shell/player_modules.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/exception.h"
#include "platform/filesys.h"
#include "platform/message_box.h"
#include "platform/single_instance.h"
#include "platform/video.h"

#include <cstdio>

bool PathOnCdRom(const std::string& path, const std::vector<std::string>& cdrom_roots) {
    for (const std::string& root : cdrom_roots)
        if (!root.empty() && path.compare(0, root.size(), root) == 0) return true;
    return false;
}

namespace {

int choose_icon(const TIconDirectory& dir, TStream& stream) {
    const int index = ChooseIconDialog(dir, stream);
    // The time the question stood open is no game time.
    LastTick = TimeGetTime();
    return index;
}

TEntryResult run_entry(const std::vector<std::string>& args, const TEntryOptions& options) {
    TEntryResult result;
    if (PathOnCdRom(ExeFileName(), CdRomRoots())) {
        result.Outcome = TEntryOutcome::RefusedCdRom;
        return result;
    }
    const bool config = !args.empty() && AnsiSameText(args[0], "/config");
    // "/config" is a word, not a folder: any spelling of it shares one lock.
    const std::string folder = args.empty() ? ExeFolder() : config ? std::string("/config") : args[0];
    const InstanceMutex mutex = CreateInstanceMutex(InstanceMutexName(folder));
    if (mutex == NoInstanceMutex) {
        const std::string what = config ? "its settings" : "the game in " + InstanceFolder(folder);
        std::fprintf(stderr, "vorqplayer: another vorqplayer is already running %s\n", what.c_str());
        result.Outcome = TEntryOutcome::RefusedInstance;
        return result;
    }
    struct Release {
        InstanceMutex m;
        ~Release() { ReleaseInstanceMutex(m); }
    } release{mutex};

    ForceHeadless(options.Headless);
    if (!options.Headless && !DisplayAvailable()) {
        std::fprintf(stderr, "vorqplayer: no display to open the game window on (VORQ_HEADLESS=1 plays without one)\n");
        result.Outcome = TEntryOutcome::NoDisplay;
        result.ExitCode = 1;
        return result;
    }
    if (config) {
        result.Outcome = TEntryOutcome::Config;
        TFormConfig::Run();
        return result;
    }
    TFormView view(args, Video::Create(options.Headless ? VideoBackend::Headless : VideoBackend::Auto));
    view.FormCreate();
    if (!Terminating) result.Frames = view.Run(options.MaxFrames);
    else view.Run(0);
    result.ExitCode = view.Failed ? 1 : 0;
    return result;
}

}  // namespace

TEntryResult PlayerMain(const std::vector<std::string>& args, const TEntryOptions& options) {
    InstallPlayerModules();
    FormViewUnitStart();
    InstallMessageDialog();
    SetIconChooser(choose_icon);
    TEntryResult result;
    try {
        result = run_entry(args, options);
    } catch (const std::exception& e) {
        const auto* x = dynamic_cast<const Exception*>(&e);
        ShowMessageBox(x ? x->Message() : std::string(e.what()), Sjis("エラー"), MessageBoxKind::OK,
                       MessageBoxIcon::Error);
        result.ExitCode = 1;
    }
    FormViewUnitFinish();
    return result;
}
