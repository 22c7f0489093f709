// How the subsystems put their commands into the main view's command map without editing the
// view. Each function below is defined in its own file (shell/bindings_<subsystem>.cpp), owned by
// that subsystem, and is called once by every CMarrowdaleView's constructor, after the view's
// own start and stop commands are bound:
//
//   void bindOptionsCommands(CommandMap& map, CMarrowdaleView& view) {
//       map.on(res::ID_FRAME_OPTIONS, [] { CDIALOGFRAMERATE dlg; dlg.doModal(); });
//   }
//
// What a binding may use from the view (shell/marrowdale_view.h):
// - view.shownTop, shownLeft, shownRight, shownBottom: the display copy of the capture area;
//   call view.repaintErase() after changing them (a repaint with the background erased).
// - view.captureView() (the view as the area selection and commandView know it),
//   view.parentFrameHandle() (the child frame that holds the view), view.topLevelFrameHandle()
//   (the main frame): what RecorderState keeps.
// - view.uiBridge(): the UI bridge (QtUiBridge): message boxes, titles, foreground and timers.
//   Its setTimerHandler() gives the callback that runs when a timer armed on frameWindow fires
//   (on the GUI thread).
// - view.setLeftButtonDownHandler(fn): fn(point in client coordinates) runs on every left
//   button press in the view.
// - view.postCommand(id): queues command `id` to the view, as a posted command message would.
// - view.workers(): the program's screen and audio workers (start the audio worker alone, ask
//   whether one runs).
// - view.platform(): the platform services the program's start-up code built (codec catalogue,
//   mouse watch, window list); a maker may be empty or return null.
// - res:: ids from resources/resources.h.
// Handlers run on the GUI thread, take nothing and return nothing.
#pragma once

namespace marrowdale {

class CommandMap;
class CMarrowdaleView;

// Frame rate, maximum frames and capture mode dialogs (32784, 32788, 32786, 32787, 32790, 32791).
void bindOptionsCommands(CommandMap& map, CMarrowdaleView& view);
// Record audio only, audio input source, both sources, codec list (32780, 32792, 32798, 32781).
void bindAudioDialogCommands(CommandMap& map, CMarrowdaleView& view);
// Area selection by mouse, the applied press, the fixed-size dialog (32772, 32773, 36864, 32797)
// and the view's left-button hook.
void bindCaptureAreaCommands(CommandMap& map, CMarrowdaleView& view);
// Fill skipped frames (32785, 32789), export video (32798) and the close-other-windows timer
// callback.
void bindToolsCommands(CommandMap& map, CMarrowdaleView& view);

}  // namespace marrowdale
