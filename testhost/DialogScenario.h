// DialogScenario.h - drives a plug-in's dialog the way a person does, from a
// script, on a thread of its own while the plug-in runs its modal dialog.
//
// One step a line; '#' starts a comment. CONTROL is a control id or one of
// the names ok, cancel, help, defaults, before, after, animate, quality,
// speed, autoscale, zoom-in, zoom-out, zoom-label, amount, fill-light,
// amount-slider, fill-light-slider, preview-area, website, product, version,
// build. Coordinates are in the dialog's client area.
//
//   wait-dialog [CAPTION]        wait for the dialog (default "Gladewick Pro")
//   slider CONTROL VALUE [track] move a slider: thumb track, then (unless
//                                "track") thumb position and end of tracking
//   type CONTROL TEXT            focus an edit, select all, type the characters
//   clear CONTROL                focus an edit, select all, delete
//   click CONTROL                press a button (a disabled one is refused)
//   drag X0 Y0 X1 Y1 [STEPS]     press, STEPS moves toward the end, release
//   mouse down|move|up X Y       one mouse message
//   capture FILE                 the dialog's pixels as a 24-bit BMP
//   text|enabled|checked|position|rect CONTROL   report a control's state
//   window                       report the dialog's screen rectangle
//   mark TEXT | sleep MS | sync  trace marker, pause, let the dialog paint
//
// Every step is written to the trace as "scenario STEP"; reports follow it
// ("text 1020 \" 25%\"", "enabled 1018 0", ...). A step that fails writes
// "scenario error TEXT" and cancels the dialog, so the run ends.
#pragma once

#include "Trace.h"

#include <string>
#include <thread>
#include <vector>

namespace gw::host {

class CDialogScenario
{
public:
    /// Reads the script (throws std::runtime_error on a bad line) and starts.
    CDialogScenario(CTrace& trace, const std::string& path);
    CDialogScenario(const CDialogScenario&) = delete;
    CDialogScenario& operator=(const CDialogScenario&) = delete;
    ~CDialogScenario();

    /// Captions of the dialogs the script waits for: the watcher leaves them alone.
    const std::vector<std::string>& Captions() const noexcept { return m_captions; }
    /// Starts the thread that runs the script.
    void Start();

private:
    void Run(std::stop_token stop);

    CTrace& m_trace;
    std::vector<std::vector<std::string>> m_steps;
    std::vector<std::string> m_captions;
    std::jthread m_thread;
};

/// Splits a script line into words; double quotes group words ("" is empty).
std::vector<std::string> SplitScenarioLine(const std::string& line);

} // namespace gw::host
