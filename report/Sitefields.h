#pragma once
// The site fields of a calibration table document: who and where, as the
// engineer types them once per installation. They are kept in a small text
// file beside the configuration, one `key=value` a line in UTF-8, so that an
// engineer can read or fix it by hand; in memory they are Windows-1251 like
// every other text of the core.

#include <array>
#include <string>
#include <string_view>

struct SITEFIELDS {
  static constexpr int kChannels = 16;

  std::string org;                             // organisation
  std::string object;                          // object or station
  std::array<std::string, kChannels> tank{};   // tank number of channel k + 1
  std::string by;                              // who calibrated
  std::string date;                            // date of the calibration

  friend bool operator==(const SITEFIELDS&, const SITEFIELDS&) = default;
};

// The site fields file "tgx.site" in the folder of the given configuration
// file (native names).
std::string SiteFieldsPathBeside(const std::string& configFile);

// Sets the field that `name` names: org, object, by, date or tank<N> with N
// from 1 to 16. False, and nothing changed, for any other name.
bool SetSiteField(SITEFIELDS& fields, std::string_view name, std::string cp1251);

// Reads the file into `fields` (cleared first). Lines are `key=value`; blank
// lines, lines starting with '#' and unknown keys are skipped, a later line
// wins over an earlier one. False when the file cannot be read; the fields
// are then empty.
bool LoadSiteFields(const std::string& path, SITEFIELDS& fields);
// Writes every field, empty ones included, beside the target and renames it
// over the target: a failed save leaves the old file whole. Line breaks inside
// a value become blanks, since a line is one field.
bool SaveSiteFields(const std::string& path, const SITEFIELDS& fields);
// The file's text, as SaveSiteFields writes it.
std::string SiteFieldsText(const SITEFIELDS& fields);
