#include "report/Sitefields.h"

#include <fstream>

#include "model/Cp1251.h"
#include "report/Outfile.h"

namespace {
// A site file is a dozen short lines; anything far larger is not one, and
// reading stops there instead of taking all memory.
constexpr std::streamsize kMaxFileBytes = 1 << 20;

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool ParseTankChannel(std::string_view digits, int& channel) {
  if (digits.empty() || digits.size() > 2 || digits.front() == '0') return false;
  channel = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    channel = channel * 10 + (c - '0');
  }
  return channel >= 1 && channel <= SITEFIELDS::kChannels;
}

std::string OneLine(const std::string& cp1251) {
  std::string s = cp1251;
  for (char& c : s)
    if (c == '\n' || c == '\r') c = ' ';
  return tgx::ToUtf8(s);
}
}  // namespace

std::string SiteFieldsPathBeside(const std::string& configFile) {
  const size_t slash = configFile.find_last_of('/');
  return (slash == std::string::npos ? std::string() : configFile.substr(0, slash + 1)) + "tgx.site";
}

bool SetSiteField(SITEFIELDS& fields, std::string_view name, std::string cp1251) {
  std::string* field = nullptr;
  if (name == "org") {
    field = &fields.org;
  } else if (name == "object") {
    field = &fields.object;
  } else if (name == "by") {
    field = &fields.by;
  } else if (name == "date") {
    field = &fields.date;
  } else if (name.substr(0, 4) == "tank") {
    int channel = 0;
    if (!ParseTankChannel(name.substr(4), channel)) return false;
    field = &fields.tank[static_cast<size_t>(channel - 1)];
  }
  if (!field) return false;
  *field = std::move(cp1251);
  return true;
}

bool LoadSiteFields(const std::string& path, SITEFIELDS& fields) {
  fields = SITEFIELDS{};
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string text(static_cast<size_t>(kMaxFileBytes), '\0');
  in.read(text.data(), kMaxFileBytes);
  if (in.bad()) return false;
  text.resize(static_cast<size_t>(in.gcount()));

  std::string_view rest(text);
  if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);  // a byte-order mark from an editor
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (Trimmed(line).empty() || Trimmed(line).front() == '#') continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    SetSiteField(fields, Trimmed(line.substr(0, eq)), tgx::FromUtf8(line.substr(eq + 1)));
  }
  return true;
}

std::string SiteFieldsText(const SITEFIELDS& fields) {
  std::string text;
  text += "org=" + OneLine(fields.org) + "\n";
  text += "object=" + OneLine(fields.object) + "\n";
  for (int k = 0; k < SITEFIELDS::kChannels; ++k)
    text += "tank" + std::to_string(k + 1) + "=" + OneLine(fields.tank[static_cast<size_t>(k)]) + "\n";
  text += "by=" + OneLine(fields.by) + "\n";
  text += "date=" + OneLine(fields.date) + "\n";
  return text;
}

bool SaveSiteFields(const std::string& path, const SITEFIELDS& fields) {
  OUTFILE out;
  return out.Open(path) && out.Write(SiteFieldsText(fields)) && out.Commit();
}
