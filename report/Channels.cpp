#include "report/Channels.h"

#include <array>

namespace {
constexpr int kFirstChannel = 1;
constexpr int kLastChannel = 16;

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool ParseChannel(std::string_view s, int& channel) {
  s = Trimmed(s);
  // Two digits at most: no channel number is longer, and no sum can overflow.
  if (s.empty() || s.size() > 2) return false;
  channel = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    channel = channel * 10 + (c - '0');
  }
  return channel >= kFirstChannel && channel <= kLastChannel;
}
}  // namespace

bool ParseChannelList(std::string_view text, std::vector<int>& channels) {
  channels.clear();
  std::array<bool, kLastChannel + 1> named{};
  while (true) {
    const size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    const size_t dash = item.find('-');
    int first = 0, last = 0;
    if (dash == std::string_view::npos) {
      if (!ParseChannel(item, first)) return false;
      last = first;
    } else if (!ParseChannel(item.substr(0, dash), first) || !ParseChannel(item.substr(dash + 1), last) ||
               first > last) {
      return false;
    }
    for (int c = first; c <= last; ++c) named[static_cast<size_t>(c)] = true;
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  for (int c = kFirstChannel; c <= kLastChannel; ++c)
    if (named[static_cast<size_t>(c)]) channels.push_back(c);
  return true;
}
