#include "decode/FaultGuard_win.h"

#include <windows.h>

namespace fault_guard {
namespace {

// One guarded call under way on a thread: where to come back to, and the thread's chain of
// exception records as it stood.
struct TGuard {
  void* jump[5];
  DWORD records;
  TGuard* outer;
};

thread_local TGuard* tCurrent = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER gPrevious = nullptr;

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

[[noreturn]] void ComeBack() {
  __builtin_longjmp(tCurrent->jump, 1);
}

// The last resort of the thread's exception handling: the plug-in's own handlers (if any) had
// their chance first. A fault inside a guarded call resumes at ComeBack; anything else goes to
// the filter that was there before.
LONG WINAPI Filter(EXCEPTION_POINTERS* pointers) {
  if (tCurrent != nullptr && IsProcessorFault(pointers->ExceptionRecord->ExceptionCode)) {
#if defined(__i386__)
    pointers->ContextRecord->Eip = reinterpret_cast<DWORD>(&ComeBack);
#else
    pointers->ContextRecord->Rip = reinterpret_cast<DWORD64>(&ComeBack);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return gPrevious != nullptr ? gPrevious(pointers) : EXCEPTION_CONTINUE_SEARCH;
}

DWORD ExceptionRecords() {
#if defined(__i386__)
  return __readfsdword(0);
#else
  return 0;
#endif
}

void SetExceptionRecords(DWORD records) {
#if defined(__i386__)
  __writefsdword(0, records);
#else
  (void)records;
#endif
}

}  // namespace

bool Run(TCall call, void* context, int& result) {
  static const bool installed = [] {
    gPrevious = SetUnhandledExceptionFilter(Filter);
    return true;
  }();
  (void)installed;
  TGuard guard{};
  guard.records = ExceptionRecords();
  guard.outer = tCurrent;
  tCurrent = &guard;
  if (__builtin_setjmp(guard.jump) == 0) {
    result = call(context);
    tCurrent = guard.outer;
    return true;
  }
  // Back from a fault: the records the faulting frames left on the chain go with them.
  SetExceptionRecords(guard.records);
  tCurrent = guard.outer;
  return false;
}

}  // namespace fault_guard
