#include "files/ArchiverOptions.h"

#include <stdexcept>

namespace {

struct TLayout {
  const char* name;
  TSwitchKind kind;
};

// The record order.
constexpr TLayout kLayout[] = {
    {"a", TSwitchKind::Numeric},   {"c", TSwitchKind::Numeric},   {"e", TSwitchKind::Numeric},
    {"f", TSwitchKind::Numeric},   {"h", TSwitchKind::Numeric},   {"i", TSwitchKind::Numeric},
    {"l", TSwitchKind::Numeric},   {"m", TSwitchKind::Numeric},   {"n", TSwitchKind::Numeric},
    {"o", TSwitchKind::Numeric},   {"p", TSwitchKind::Numeric},   {"r", TSwitchKind::Numeric},
    {"s", TSwitchKind::Numeric},   {"t", TSwitchKind::Numeric},   {"u", TSwitchKind::Numeric},
    {"w", TSwitchKind::Folder},    {"x", TSwitchKind::Numeric},   {"y", TSwitchKind::Numeric},
    {"z", TSwitchKind::Numeric},   {"jc", TSwitchKind::Numeric},  {"jd", TSwitchKind::Numeric},
    {"je", TSwitchKind::Numeric},  {"jf", TSwitchKind::Numeric},  {"jh", TSwitchKind::Numeric},
    {"ji", TSwitchKind::Numeric},  {"jm", TSwitchKind::Numeric},  {"jn", TSwitchKind::Numeric},
    {"jo", TSwitchKind::Text},     {"job", TSwitchKind::Text},    {"jp", TSwitchKind::Numeric},
    {"jr", TSwitchKind::Numeric},  {"jsb", TSwitchKind::Numeric}, {"jsc", TSwitchKind::Numeric},
    {"jsd", TSwitchKind::Numeric}, {"jse", TSwitchKind::Numeric}, {"jsf", TSwitchKind::Numeric},
    {"jsl", TSwitchKind::Numeric}, {"jso", TSwitchKind::Numeric}, {"jss", TSwitchKind::Numeric},
    {"jst", TSwitchKind::Numeric}, {"jsv", TSwitchKind::Numeric}, {"jsz", TSwitchKind::Numeric},
    {"jw", TSwitchKind::Numeric},  {"jx", TSwitchKind::List},     {"jyc", TSwitchKind::Numeric},
    {"jyd", TSwitchKind::Numeric}, {"jyk", TSwitchKind::Numeric}, {"jyn", TSwitchKind::Numeric},
    {"jyo", TSwitchKind::Numeric}, {"jz", TSwitchKind::Text},     {"ga", TSwitchKind::Numeric},
    {"gd", TSwitchKind::Numeric},  {"ge", TSwitchKind::Numeric},  {"gf", TSwitchKind::Numeric},
    {"gj", TSwitchKind::Numeric},  {"gm", TSwitchKind::Numeric},  {"gn", TSwitchKind::Numeric},
    {"go", TSwitchKind::Numeric},  {"gp", TSwitchKind::Numeric},  {"gr", TSwitchKind::Text},
    {"gs", TSwitchKind::Numeric},  {"gu", TSwitchKind::Numeric},  {"gw", TSwitchKind::Numeric},
    {"gya", TSwitchKind::Numeric}, {"gyc", TSwitchKind::Numeric}, {"gyd", TSwitchKind::Text},
    {"gye", TSwitchKind::Text},    {"gyo", TSwitchKind::Numeric}, {"gyq", TSwitchKind::Numeric},
    {"gys", TSwitchKind::Numeric}, {"gyt", TSwitchKind::Text},    {"gyw", TSwitchKind::Text},
    {"gyx", TSwitchKind::Numeric},
};

}  // namespace

TArchiverOptions::TArchiverOptions() {
  for (const TLayout& field : kLayout) {
    TArchiverSwitch entry;
    entry.Name = field.name;
    entry.Kind = field.kind;
    switches_.push_back(std::move(entry));
  }
}

TArchiverSwitch& TArchiverOptions::Find(std::string_view name) {
  for (TArchiverSwitch& s : switches_) {
    if (s.Name == name) return s;
  }
  throw std::logic_error("no archiver switch " + std::string(name));
}

int8_t& TArchiverOptions::Num(std::string_view name) {
  return Find(name).Number;
}

std::string& TArchiverOptions::Text(std::string_view name) {
  return Find(name).Text;
}

std::vector<std::string>& TArchiverOptions::Jx() {
  return Find("jx").List;
}
