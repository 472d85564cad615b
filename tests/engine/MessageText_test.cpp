#include <doctest/doctest.h>

#include "engine/MessageText.h"
#include "support/Fakes.h"

TEST_CASE("sections: the first line is never a separator, nor a trailing one") {
  const std::vector<std::string> six{"a", "--", "b", "c", "--", "d"};
  CHECK(FindSeparators(six, "--") == std::vector<size_t>{1, 4});
  CHECK(GetMessageSection(six, {1, 4}, 0, "--") == "b\r\nc\r\n");
  CHECK(GetMessageSection(six, {1, 4}, 1, "--") == "d\r\n");
  CHECK(FindSeparators({"--", "x", "--", "y"}, "--") == std::vector<size_t>{2});
  CHECK(FindSeparators({"x", "--", "y", "--"}, "--") == std::vector<size_t>{1});
  CHECK(FindSeparators({"x", "y"}, "--").empty());
  CHECK(FindSeparators({"x", "-- "}, "--").empty());  // whole lines, exactly
}

TEST_CASE("sections in turn, at random, and the whole file") {
  TFixedRandom random({1, 0});
  const std::vector<std::string> six{"a", "--", "b", "c", "--", "d"};
  TMessageState state;
  state.SepString = "--";
  state.SepIndex = 0;
  CHECK(ChooseMessage(six, state, random) == "d\r\n");
  CHECK(state.SepIndex == 1);
  CHECK(state.SeparatorCount == 2);
  CHECK(ChooseMessage(six, state, random) == "b\r\nc\r\n");
  CHECK(ChooseMessage(six, state, random) == "d\r\n");
  state.SepIndex = 57;  // from a longer file once
  CHECK(ChooseMessage(six, state, random) == "b\r\nc\r\n");

  state.SepRandom = true;
  CHECK(ChooseMessage(six, state, random) == "d\r\n");
  CHECK(ChooseMessage(six, state, random) == "b\r\nc\r\n");

  TMessageState whole;
  CHECK(ChooseMessage({"one", "two"}, whole, random) == "one\r\ntwo\r\n");
  whole.SepString = "--";
  CHECK(ChooseMessage({"one", "two"}, whole, random) == "one\r\ntwo\r\n");
  CHECK(whole.SeparatorCount == 0);
  whole.SepLines = 2;
  CHECK(ChooseMessage({"one"}, whole, random) == "\r\n\r\none\r\n");
}

TEST_CASE("file names are filled in; line ends are widened") {
  CHECK(SubstituteFileName("$FileName と $FileName", "海.jpg") == "海.jpg と 海.jpg");
  CHECK(SubstituteFileName("$filename $FILENAME", "x") == "$filename $FILENAME");
  CHECK(SubstituteFileName("$FileName$FileName", "$FileName") == "$FileName$FileName");
  CHECK(WidenLineEnds("a\rb\r\nc") == "a  \rb  \r\nc");
  CHECK(WidenLineEnds("") == "");
}
