#include "decode/FaultGuard_win.h"

#include <windows.h>

namespace fault_guard {
namespace {

bool IsProcessorFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_PRIV_INSTRUCTION:
      return true;
    default:
      return false;  // a stack overflow leaves no stack to come back on
  }
}

// An exception of another compiler's language runtime that nothing inside the call caught:
// Visual C++'s throw, Delphi's raise, C++Builder's throw. They are raised as noncontinuable,
// so the guard comes back from its handler instead of resuming the faulting frame.
bool IsForeignException(DWORD code) {
  return code == 0xE06D7363u || code == 0x0EEDFADEu || code == 0x0EEFFACEu;
}

#if defined(__i386__)

// An exception registration record of the thread's chain (fs:[0]), in the guard's frame: the
// handlers of the frames the call made (the plug-in's own) come first, then this one. Nothing
// global is set, so a module that guards its own calls can be unloaded at any time.
struct TRegistration {
  TRegistration* next;
  void* handler;
};

struct TGuard {
  TRegistration record;
  void* jump[5];
  TGuard* outer;
};

thread_local TGuard* tCurrent = nullptr;

[[noreturn]] void ComeBack() {
  __builtin_longjmp(tCurrent->jump, 1);
}

extern "C" EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* record, void*,
                                                      CONTEXT* context, void*) {
  if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0 ||
      tCurrent == nullptr) {
    return ExceptionContinueSearch;
  }
  if (IsForeignException(record->ExceptionCode)) ComeBack();
  if (!IsProcessorFault(record->ExceptionCode)) return ExceptionContinueSearch;
  context->Eip = reinterpret_cast<DWORD>(&ComeBack);
  return ExceptionContinueExecution;
}

}  // namespace

bool Run(TCall call, void* context, int& result) {
  TGuard guard{};
  guard.record.next = reinterpret_cast<TRegistration*>(__readfsdword(0));
  guard.record.handler = reinterpret_cast<void*>(&GuardHandler);
  guard.outer = tCurrent;
  tCurrent = &guard;
  __writefsdword(0, reinterpret_cast<DWORD>(&guard.record));
  if (__builtin_setjmp(guard.jump) == 0) {
    result = call(context);
    __writefsdword(0, reinterpret_cast<DWORD>(guard.record.next));
    tCurrent = guard.outer;
    return true;
  }
  // Back from a fault: the records the faulting frames left on the chain go with them.
  __writefsdword(0, reinterpret_cast<DWORD>(guard.record.next));
  tCurrent = guard.outer;
  return false;
}

#else

// Without frame records (64-bit), the last resort of the thread's exception handling.
struct TGuard {
  void* jump[5];
  TGuard* outer;
};

thread_local TGuard* tCurrent = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER gPrevious = nullptr;

[[noreturn]] void ComeBack() {
  __builtin_longjmp(tCurrent->jump, 1);
}

LONG WINAPI Filter(EXCEPTION_POINTERS* pointers) {
  if (tCurrent != nullptr && IsForeignException(pointers->ExceptionRecord->ExceptionCode)) {
    ComeBack();
  }
  if (tCurrent != nullptr && IsProcessorFault(pointers->ExceptionRecord->ExceptionCode)) {
    pointers->ContextRecord->Rip = reinterpret_cast<DWORD64>(&ComeBack);
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return gPrevious != nullptr ? gPrevious(pointers) : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

bool Run(TCall call, void* context, int& result) {
  static const bool installed = [] {
    gPrevious = SetUnhandledExceptionFilter(Filter);
    return true;
  }();
  (void)installed;
  TGuard guard{};
  guard.outer = tCurrent;
  tCurrent = &guard;
  if (__builtin_setjmp(guard.jump) == 0) {
    result = call(context);
    tCurrent = guard.outer;
    return true;
  }
  tCurrent = guard.outer;
  return false;
}

#endif

}  // namespace fault_guard
