#include "shell/player_entry.h"

#include "chrome/form_config.h"
#include "chrome/icon_chooser.h"
#include "chrome/message_dialog.h"
#include "shell/form_view.h"
#include "shell/player_modules.h"
#include "platform/system/clock.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/drives.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/text/fonts.h"
#include "platform/display/message_box.h"
#include "platform/filesystem/single_instance.h"
#include "platform/display/video.h"
#include "platform/system/quit_signals.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

bool PathOnCdRom(const std::string& path, const std::vector<std::string>& cdrom_roots) {
    for (const std::string& root : cdrom_roots)
        if (!root.empty() && path.compare(0, root.size(), root) == 0) return true;
    return false;
}

namespace {

std::string no_japanese_font() { return Sjis("日本語フォントが見つかりません"); }

int choose_icon(const TIconDirectory& dir, TStream& stream) {
    const int index = ChooseIconDialog(dir, stream);
    // The time the question stood open is no game time.
    LastTick = TimeGetTime();
    return index;
}

// Every text of the player, its own boxes included, is drawn with our
// fonts. Without a Japanese face it plays in the face there is, and says
// so once; without any face it says so in the desktop's own box.
bool fonts_usable() {
    std::string family;
    switch (InstalledFontSupply(&family)) {
    case FontSupply::Japanese: return true;
    case FontSupply::OtherOnly:
        std::fprintf(stderr, "vorqplayer: %s: no Japanese font is installed, text is drawn in %s "
                     "(the package fonts-ipafont-gothic provides one)\n",
                     Cp932ToUtf8(no_japanese_font()).c_str(), family.c_str());
        return true;
    case FontSupply::None: break;
    }
    ShowSystemMessageBox(no_japanese_font() + Sjis("\nNo font is installed to draw text with: install a Japanese "
                                                  "font, such as the package fonts-ipafont-gothic."),
                         Sjis("エラー"), MessageBoxKind::OK, MessageBoxIcon::Error);
    return false;
}

// A player that ends at once (a quit signal its stuck game never took, a
// lost display) leaves its temporary files no more than one that closes.
void remove_temp_folder() {
    std::error_code ec;
    if (const std::string folder = PrivateTempFolder(); !folder.empty()) std::filesystem::remove_all(NativePath(folder), ec);
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
    std::string notice;
    const InstanceMutex mutex = CreateInstanceMutex(InstanceMutexName(folder), &notice);
    for (size_t at = 0, end; (end = notice.find('\n', at)) != std::string::npos; at = end + 1)
        std::fprintf(stderr, "vorqplayer: %s\n", notice.substr(at, end - at).c_str());
    if (mutex == NoInstanceMutex) {
        const std::string what = config ? "its settings" : "the game in " + InstanceFolder(folder);
        std::fprintf(stderr, "vorqplayer: another vorqplayer is already running %s\n", what.c_str());
        result.Outcome = TEntryOutcome::RefusedInstance;
        return result;
    }
    // Ended at once, the player still lets the next one start on this game.
    struct Release {
        InstanceMutex m;
        int step;
        ~Release() {
            ForgetAtAbruptEnd(step);
            ReleaseInstanceMutex(m);
        }
    } release{mutex, AtAbruptEnd([mutex] { ReleaseInstanceMutex(mutex); })};

    ForceHeadless(options.Headless);
    if (!options.Headless && !DisplayAvailable()) {
        std::fprintf(stderr, "vorqplayer: no display to open the game window on (VORQ_HEADLESS=1 plays without one)\n");
        result.Outcome = TEntryOutcome::NoDisplay;
        result.ExitCode = 1;
        return result;
    }
    // Only VORQ_HEADLESS plays without a window: a display that cannot be
    // opened ends here, rather than leave an invisible game running.
    std::unique_ptr<Video> window;
    std::string why;
    try {
        window = Video::Create(options.Headless ? VideoBackend::Headless : VideoBackend::Sdl);
    } catch (const Exception& x) {
        why = " (" + Cp932ToUtf8(x.Message()) + ")";
    }
    // SDL falls back to drawing off screen when the display named is not there.
    if (!window || (!options.Headless && !DisplayAvailable())) {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) display = std::getenv("WAYLAND_DISPLAY");
        std::fprintf(stderr, "vorqplayer: cannot open the display %s%s; VORQ_HEADLESS=1 plays without one\n",
                     display ? display : "", why.c_str());
        result.Outcome = TEntryOutcome::NoDisplay;
        result.ExitCode = 1;
        return result;
    }
    if (!fonts_usable()) {
        result.Outcome = TEntryOutcome::NoFont;
        result.ExitCode = 1;
        return result;
    }
    if (config) {
        result.Outcome = TEntryOutcome::Config;
        TFormConfig::Run(*window, GameIniPath());
        return result;
    }
    TFormView view(args, std::move(window));
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
    const int temp_step = AtAbruptEnd(remove_temp_folder);
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
    ForgetAtAbruptEnd(temp_step);
    return result;
}
