#include "app/SystemState_win.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

TSystemState QuerySystemState() {
  TSystemState state;
  QUERY_USER_NOTIFICATION_STATE notification{};
  if (SUCCEEDED(SHQueryUserNotificationState(&notification))) {
    state.NotificationState = static_cast<int>(notification);
  }
  SYSTEM_POWER_STATUS power{};
  // The fourth byte is SystemStatusFlag in Windows 10's headers (1: battery saver is on); older
  // systems leave it 0.
  if (GetSystemPowerStatus(&power)) state.BatterySaver = power.Reserved1 == 1;
  return state;
}
