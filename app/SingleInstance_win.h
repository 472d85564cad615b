// One instance per desktop: a second start hands its first argument to the running instance,
// brings it to the front and ends.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

constexpr const char* kInstanceMutexName = "hVesko2";

// Brings a window of another process to the top; whether BringWindowToTop succeeded.
bool BringToFront(HWND window);

// For the tests of starts at the same moment, named by VESKO2_TEST_START_HOLD (an event's
// name; nothing happens without it): the first start waits for that event between its mutex and
// its window, and a second start that finds the mutex but no window sets "<name>-waiting".
void HoldFirstStartForTest();

// The second start: `arguments` without the program, `currentDirectory` without a trailing "\".
// False, after a box that says so, when its file could not be handed over: the first start
// ended, or made no window in 10 seconds.
bool RunSecondStart(const std::vector<std::wstring>& arguments,
                    const std::wstring& currentDirectory);
