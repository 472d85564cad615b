#include "app/BinaryKeeper.h"

std::vector<uint8_t> TBinaryKeeper::StoreData() const {
  if (data_.empty()) return {};
  const auto count = static_cast<uint32_t>(data_.size());
  std::vector<uint8_t> out{static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8),
                           static_cast<uint8_t>(count >> 16), static_cast<uint8_t>(count >> 24)};
  out.insert(out.end(), data_.begin(), data_.end());
  return out;
}

void TBinaryKeeper::LoadData(const std::vector<uint8_t>& stored) {
  if (stored.empty()) {
    data_.clear();
    return;
  }
  if (stored.size() < 4) throw EReadError("ストリームの読み込みエラー");
  const uint32_t count = stored[0] | (uint32_t{stored[1]} << 8) | (uint32_t{stored[2]} << 16) |
                         (uint32_t{stored[3]} << 24);
  if (count > stored.size() - 4) throw EReadError("ストリームの読み込みエラー");
  data_.assign(stored.begin() + 4, stored.begin() + 4 + count);
}
