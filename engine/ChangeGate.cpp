#include "engine/ChangeGate.h"

std::string TimedChangeWaitReason(const TSystemState& state, bool waitWhileBusy,
                                  bool waitOnBatterySaver) {
  if (waitWhileBusy) {
    switch (state.NotificationState) {
      case 2:  // QUNS_BUSY: a full-screen window on the primary monitor
      case 7:  // QUNS_APP: a full-screen app of the Store
        return "全画面のアプリを使用中のため、切り替えを待っています";
      case 3:  // QUNS_RUNNING_D3D_FULL_SCREEN
        return "全画面のゲームを実行中のため、切り替えを待っています";
      case 4:  // QUNS_PRESENTATION_MODE
        return "プレゼンテーション中のため、切り替えを待っています";
      default:
        break;
    }
  }
  if (waitOnBatterySaver && state.BatterySaver)
    return "バッテリー節約中のため、切り替えを待っています";
  return {};
}
