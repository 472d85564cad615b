// Calls into foreign DLLs (decoder plug-ins) that may fault: an access violation or a like
// processor fault inside the call, or a Visual C++ or Delphi exception that leaves it, comes
// back as a failed call instead of ending the program.
#pragma once

namespace fault_guard {

using TCall = int (*)(void* context);

// Runs `call(context)`; true and its result, or false when the call faulted. Nothing with a
// destructor may live between this frame and the fault: the faulting frames are left as they
// are (their memory is the plug-in's), and the thread's exception records are set back.
bool Run(TCall call, void* context, int& result);

}  // namespace fault_guard

// The same for any callable returning int: true and its result, or false when it faulted.
template <typename F>
bool CallGuarded(F& call, int& result) {
  return fault_guard::Run([](void* context) { return (*static_cast<F*>(context))(); }, &call,
                          result);
}
