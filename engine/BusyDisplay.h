// The only progress display of long steps: the main window's panel takes a signal colour and
// the application title a short note; both come back on every exit.
#pragma once

#include <cstdint>
#include <string>

class IBusyDisplay {
 public:
  virtual ~IBusyDisplay() = default;
  virtual uint32_t PanelColor() = 0;
  // Sets the colour and repaints the panel at once.
  virtual void SetPanelColor(uint32_t color) = 0;
  virtual void SetAppTitle(const std::string& title) = 0;
  virtual std::string Caption() = 0;
  // The hourglass while a long step runs.
  virtual void SetWaitCursor(bool /*wait*/) {}
};

class TBusyScope {
 public:
  TBusyScope(IBusyDisplay& display, uint32_t color, const std::string& title)
      : display_(display), saved_(display.PanelColor()) {
    display_.SetPanelColor(color);
    display_.SetAppTitle(title);
  }
  TBusyScope(const TBusyScope&) = delete;
  TBusyScope& operator=(const TBusyScope&) = delete;
  ~TBusyScope() {
    display_.SetPanelColor(saved_);
    display_.SetAppTitle(display_.Caption());
  }
  void SetTitle(const std::string& title) { display_.SetAppTitle(title); }

 private:
  IBusyDisplay& display_;
  uint32_t saved_;
};
