#include <doctest/doctest.h>

#include "engine/FileSystem.h"
#include "engine/ListRemoval.h"
#include "support/Fakes.h"

namespace {

TListBox Box(std::vector<std::string> items, int index) {
  TListBox box;
  box.Assign(std::move(items));
  box.ItemIndex = index;
  return box;
}

}  // namespace

TEST_CASE("removing the current picture: both lists, cursors one back, the order renumbered") {
  TListBox pictures = Box({"a", "b", "c", "d"}, 2);
  TListBox order = Box({"3", "2", "0", "1"}, 1);  // "2" at 1 follows the picture
  std::vector<bool> busy;
  RemoveCurrentPicture(pictures, order, false, [&](bool on) { busy.push_back(on); });
  CHECK(pictures.Items == std::vector<std::string>{"a", "b", "d"});
  CHECK(pictures.ItemIndex == 1);  // the next step shows "d"
  CHECK(order.Items == std::vector<std::string>{"2", "0", "1"});
  CHECK(order.ItemIndex == 0);
  CHECK(busy == std::vector<bool>{true, false});

  // In random order the picture cursor follows the order's cursor.
  pictures = Box({"a", "b", "c", "d"}, 2);
  order = Box({"3", "2", "0", "1"}, 1);
  RemoveCurrentPicture(pictures, order, true);
  CHECK(pictures.ItemIndex == 2);  // order entry 0 now reads "2"
}

TEST_CASE("the first entry wraps the cursors to the end; the last one empties both lists") {
  TListBox pictures = Box({"a", "b", "c"}, 0);
  TListBox order = Box({"0", "1", "2"}, 0);
  RemoveCurrentPicture(pictures, order, false);
  CHECK(pictures.Items == std::vector<std::string>{"b", "c"});
  CHECK(pictures.ItemIndex == 1);  // the last: the next step shows the new first entry
  CHECK(order.Items == std::vector<std::string>{"0", "1"});
  CHECK(order.ItemIndex == 1);

  TListBox one = Box({"only"}, 0);
  TListBox oneOrder = Box({"0"}, 0);
  RemoveCurrentPicture(one, oneOrder, true);
  CHECK(one.Empty());
  CHECK(oneOrder.Empty());
  CHECK(one.ItemIndex == -1);
  CHECK(oneOrder.ItemIndex == -1);
}

TEST_CASE("a list file loses exactly the first line naming the entry, whatever its form") {
  TFakeFileSystem files;
  const auto resolve = [&](const std::string& line) {
    return ListEntryPath(files, "D:\\lists", line);
  };
  std::vector<std::string> lines{"C:\\p\\a.jpg", "C:\\P\\B.JPG", "C:\\p\\c.jpg", "c:\\p\\b.jpg"};
  CHECK(RemoveListLine(lines, "c:\\p\\b.jpg", resolve));
  CHECK(lines == std::vector<std::string>{"C:\\p\\a.jpg", "C:\\p\\c.jpg", "c:\\p\\b.jpg"});
  CHECK_FALSE(RemoveListLine(lines, "C:\\p\\none.jpg", resolve));
  CHECK(lines.size() == 3);
  // Relative, rooted and script-written lines: the line that names the picture goes, the
  // others stay as written.
  lines = {"sub\\x.jpg", "C:/p/a.jpg", "\\pics\\y.jpg", ".\\z.jpg", "sub\\x.jpg"};
  CHECK(RemoveListLine(lines, "D:\\lists\\sub\\x.jpg", resolve));
  CHECK(RemoveListLine(lines, "C:\\p\\a.jpg", resolve));
  CHECK(RemoveListLine(lines, "D:\\pics\\y.jpg", resolve));
  CHECK(RemoveListLine(lines, "d:\\LISTS\\z.jpg", resolve));
  CHECK(lines == std::vector<std::string>{"sub\\x.jpg"});
}
