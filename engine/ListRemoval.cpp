#include "engine/ListRemoval.h"

#include <algorithm>

#include "base/TextCase.h"

void RemoveCurrentPicture(TListBox& pictures, TListBox& randomOrder, bool randomLoad,
                          const std::function<void(bool)>& renumbering) {
  const int m = pictures.ItemIndex;
  const int r = randomOrder.IndexOf(std::to_string(m));
  if (m >= 0 && m < pictures.Count()) pictures.Items.erase(pictures.Items.begin() + m);
  if (r >= 0) randomOrder.Items.erase(randomOrder.Items.begin() + r);
  pictures.ItemIndex = m > 0 ? m - 1 : pictures.Count() - 1;
  randomOrder.ItemIndex = r > 0 ? r - 1 : randomOrder.Count() - 1;
  if (renumbering) renumbering(true);
  for (std::string& item : randomOrder.Items) {
    const int value = std::stoi(item);
    if (value > m) item = std::to_string(value - 1);
  }
  if (renumbering) renumbering(false);
  if (randomLoad && !randomOrder.Empty() && randomOrder.ItemIndex >= 0) {
    pictures.ItemIndex = std::stoi(randomOrder.Items[static_cast<size_t>(randomOrder.ItemIndex)]);
  }
}

void RemoveOtherPicture(TListBox& pictures, TListBox& randomOrder, int m) {
  if (m < 0 || m >= pictures.Count()) return;
  const int r = randomOrder.IndexOf(std::to_string(m));
  pictures.Items.erase(pictures.Items.begin() + m);
  if (pictures.ItemIndex > m) --pictures.ItemIndex;
  if (r >= 0) {
    randomOrder.Items.erase(randomOrder.Items.begin() + r);
    if (randomOrder.ItemIndex > r) --randomOrder.ItemIndex;
  }
  for (std::string& item : randomOrder.Items) {
    const int value = std::stoi(item);
    if (value > m) item = std::to_string(value - 1);
  }
}

bool RemoveListLine(std::vector<std::string>& lines, const std::string& entry,
                    const std::function<std::string(const std::string&)>& resolve) {
  const auto it = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return SameText(resolve(line), entry);
  });
  if (it == lines.end()) return false;
  lines.erase(it);
  return true;
}
