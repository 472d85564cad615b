#include "decode/PluginAnswer.h"

#include <algorithm>
#include <cstring>

namespace plugin_answer {

int32_t LoadedEntries(const plugin_wire::TMessage& answer, int entryCount) {
  if (answer.Number < 0) return -1;
  const uint32_t known = entryCount >= 31 ? 0x7FFFFFFFu : (1u << entryCount) - 1;
  return static_cast<int32_t>(static_cast<uint32_t>(answer.Number) & known);
}

int PluginInfo(const plugin_wire::TMessage& answer, char* buffer, int length) {
  const size_t copied = buffer == nullptr || length <= 0
                            ? 0
                            : std::min(answer.Data.size(), static_cast<size_t>(length - 1));
  if (buffer != nullptr && length > 0) {
    if (copied > 0) std::memcpy(buffer, answer.Data.data(), copied);
    buffer[copied] = '\0';
  }
  if (answer.Number <= 0) return answer.Number;
  return static_cast<int>(std::min(static_cast<size_t>(answer.Number), answer.Data.size()));
}

int PictureInfo(const plugin_wire::TMessage& answer, TSusiePictureInfo& info) {
  if (answer.Number != SusieResult::kSuccess) return answer.Number;
  if (answer.Data.size() != sizeof info) return SusieResult::kBrokenData;
  std::memcpy(&info, answer.Data.data(), sizeof info);
  info.hInfo = 0;
  return SusieResult::kSuccess;
}

int Picture(const plugin_wire::TMessage& answer, uint64_t maxPixelBytes) {
  if (answer.Number != SusieResult::kSuccess) return answer.Number;
  if (answer.Data.empty() || answer.SectionSize == 0) return SusieResult::kBrokenData;
  if (answer.SectionSize > maxPixelBytes) return SusieResult::kNoMemory;
  return SusieResult::kSuccess;
}

std::string Extraction(const plugin_wire::TMessage& answer, size_t bufferSize) {
  if (answer.Number != 0) {
    return answer.Text.empty() ? "書庫ライブラリがエラーを返しました。" : answer.Text;
  }
  if (answer.SectionSize > bufferSize) return "書庫の展開結果が大きすぎます。";
  return {};
}

}  // namespace plugin_answer
