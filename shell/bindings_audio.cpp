#include <memory>

#include "audio/gui/audio_input_dialog.h"
#include "audio/gui/codec_list_dialog.h"
#include "audio/gui/record_audio_dialog.h"
#include "framework/command_map.h"
#include "resources/resources.h"
#include "shell/marrowdale_view.h"
#include "shell/view_command_bindings.h"

namespace marrowdale {

void bindAudioDialogCommands(CommandMap& map, CMarrowdaleView& view) {
    map.on(res::ID_RECORD_AUDIO, [&view] {
        RecordingCommandContext ctx = view.commandContext();
        OnCommandRecordAudio(ctx);
    });
    map.on(res::ID_AUDIO_INPUT, [] {
        CDIALOG_AUDIOINPUT dlg;
        dlg.doModal();
    });
    // Both sources at once; the audio input source dialog chooses one of them again.
    map.on(res::ID_AUDIO_BOTH,
           [] { captureSettings().audioStreamFlags.store(kAudioStreamFlagsBoth); });
    map.onUpdate(res::ID_AUDIO_BOTH, [](int, CommandUi& ui) {
        ui.enabled = true;
        ui.mark = captureSettings().audioStreamFlags.load() == kAudioStreamFlagsBoth
                      ? CommandUi::Mark::Check
                      : CommandUi::Mark::None;
    });
    map.on(res::ID_LIST_CODECS, [&view] {
        const PlatformServices& platform = view.platform();
        const std::unique_ptr<MediaFormatService> service =
            platform.mediaFormat ? platform.mediaFormat() : nullptr;
        if (!service)
            return;
        CCodecList dlg(*service);
        dlg.doModal();
    });
}

}  // namespace marrowdale
