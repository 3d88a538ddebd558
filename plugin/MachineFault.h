// MachineFault.h - turns a machine fault (access violation, illegal
// instruction, integer division by zero, ...) raised by the plug-in's own code
// inside a guarded operation into a jump back to that operation's handler.
//
// gcc has no __try. The guarded operation records a jump target with
// __builtin_setjmp and pushes it on a per-thread guard stack. A vectored
// exception handler, registered at attach, looks at every exception of the
// process and acts only when all of these hold:
//   - the code is a hardware fault (not a C++ exception, not a breakpoint,
//     not a stack overflow);
//   - the faulting instruction lies inside this module's image;
//   - the faulting thread has a guard on its stack, and the top entry is a
//     guard rather than a barrier.
// It then lets the operating system finish the exception normally by
// returning "continue execution" with the thread's instruction pointer moved to
// a landing function, which pops the guard and jumps to its target. No frame
// of the system or of the host lies between the landing function and the
// target: everything in between is this module's code (callbacks into it from
// Windows, such as dialog procedures, push a barrier), and neither the i686
// (table-driven DWARF unwinding) nor the x64 (table-driven SEH) build registers
// per-frame state that a jump would leave behind.
//
// What a jump skips: destructors of the objects made between the guarded
// operation and the fault. Their memory and handles leak, and the plug-in's
// state is left as it was when the fault struck.
#pragma once

#include <windows.h>

#include <cstdint>

namespace gw::plugin {

/// Storage for __builtin_setjmp (five words).
struct FaultJump
{
    void* m_apSlots[5];
};

/// Registers the vectored handler for faults inside the image of hModule
/// (this module, at attach). Idempotent.
void InstallMachineFaultHandler(HINSTANCE hModule) noexcept;
/// Removes it again (module detach).
void RemoveMachineFaultHandler() noexcept;

/// Pushes a guard; a fault in this module's code on this thread, until the
/// guard is popped, lands at pJump's target with __builtin_setjmp returning 1.
/// Returns false when the per-thread stack is full (the operation then runs
/// without machine-fault cover).
bool PushFaultGuard(FaultJump* pJump) noexcept;
/// Pops the top guard or barrier.
void PopFaultEntry() noexcept;

/// Entry of a function that Windows calls back (a dialog or window procedure):
/// faults below it are not turned into jumps unless a new guard is pushed,
/// since the frames of the system's message loop lie beyond it.
class CFaultBarrier
{
public:
    CFaultBarrier() noexcept;
    ~CFaultBarrier();
    CFaultBarrier(const CFaultBarrier&) = delete;
    CFaultBarrier& operator=(const CFaultBarrier&) = delete;

private:
    bool m_bPushed;
};

} // namespace gw::plugin
