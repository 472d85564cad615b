// The entry points a Susie import plug-in exports, as our own plug-ins declare them. Built with
// --kill-at so the names stay undecorated ("GetPicture", not "GetPicture@28").
#pragma once

#include <windows.h>

#include "decode/SusieApi.h"

#define SPI_EXPORT extern "C" __declspec(dllexport)

using SpiProgress = int(WINAPI*)(int done, int total, LONG_PTR user);

// Copies an info text into the caller's buffer; the number of bytes written.
inline int SpiInfoText(const char* text, LPSTR buffer, int length) {
  if (text == nullptr || buffer == nullptr || length <= 0) return 0;
  int n = 0;
  while (text[n] != '\0' && n < length - 1) {
    buffer[n] = text[n];
    ++n;
  }
  buffer[n] = '\0';
  return n;
}
