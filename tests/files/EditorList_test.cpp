#include <doctest/doctest.h>

#include "files/EditorList.h"

TEST_CASE("the editor list: caption before the first ???, program after it, in file order") {
  const std::vector<TEditorEntry> entries =
      ParseEditorList({"画像編集???C:\\Tools\\editor.exe", "Paint???C:\\Win\\mspaint.exe???odd",
                       "noseparator", "", "??? only program"});
  REQUIRE(entries.size() == 5);
  CHECK(entries[0].Caption == "画像編集");
  CHECK(entries[0].Program == "C:\\Tools\\editor.exe");
  CHECK(entries[1].Caption == "Paint");
  CHECK(entries[1].Program == "C:\\Win\\mspaint.exe???odd");
  CHECK(entries[2].Caption.empty());
  CHECK(entries[2].Program == "separator");  // from the third character on
  CHECK(entries[3].Program.empty());
  CHECK(entries[4].Caption.empty());
  CHECK(entries[4].Program == " only program");
  CHECK(ParseEditorList({}).empty());
}

TEST_CASE("the command line quotes both paths, so spaces stay inside one argument") {
  CHECK(EditorCommandLine("C:\\Program Files\\Ed\\ed.exe", "D:\\my pictures\\夏.jpg") ==
        "\"C:\\Program Files\\Ed\\ed.exe\" \"D:\\my pictures\\夏.jpg\"");
}
