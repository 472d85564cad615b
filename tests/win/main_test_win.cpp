#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest/doctest.h>
#include <ole2.h>
#include <windows.h>

int main(int argc, char** argv) {
  OleInitialize(nullptr);
  const int result = doctest::Context(argc, argv).run();
  OleUninitialize();
  return result;
}
