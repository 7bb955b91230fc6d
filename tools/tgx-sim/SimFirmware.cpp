#include "SimFirmware.h"

namespace tgxsim {
namespace {

struct HeaderFamily {
  const char* name;
  HeaderGeometry geometry;
  int codes[8];  // zero-terminated
};

// Header layouts of the units that keep a table header.
constexpr HeaderFamily kHeaderFamilies[] = {
    {"621a", {274, 2, true, 178}, {6210}},
    {"632", {774, 2, false, 322}, {6320}},
    {"634", {808, 4, false, 356}, {6330, 6340, 6341}},
    {"6343", {822, 6, false, 358}, {6342, 6343, 6350, 6360, 6362, 7310, 7350}},
    {"6363", {862, 6, false, 486}, {6363, 6364, 7364}},
    {"640", {1310, 6, false, 934}, {6410, 7410, 7411}},
    {"843", {2070, 6, false, 1622}, {8430, 8431, 8432, 8433}},
    {"851", {750, 6, false, 422}, {8510}},
    {"852", {976, 6, false, 646}, {8520}},
};

// The panel is started explicitly from this firmware on.
constexpr int kFirstPanelStartCode = 6350;

}  // namespace

int DisplayVariantOf(int code) {
  if (code % 1000 <= 350) return 0;
  if (code == 6360) return 1;
  return 2;
}

std::optional<std::array<uint8_t, 3>> VersionBytesOf(int code) {
  if (code < 0 || code > 255 * 1000 + 9 * 100 + 99) return std::nullopt;
  const int a = code / 1000;
  const int b = (code / 100) % 10;
  const int last = code % 100;
  int c = 0;
  if (last % 10 == 0) {
    c = last / 10;  // 6320 -> 2, read back as 20
  } else if (last >= 10) {
    c = last;  // 6343 -> 43
  } else {
    return std::nullopt;  // 6305: c' of 1..9 cannot be expressed
  }
  std::array<uint8_t, 3> bytes{static_cast<uint8_t>(a), static_cast<uint8_t>(b),
                               static_cast<uint8_t>(c)};
  if (VersionCodeOf(bytes) != code) return std::nullopt;
  return bytes;
}

int VersionCodeOf(const std::array<uint8_t, 3>& bytes) {
  const int c = bytes[2] < 10 ? bytes[2] * 10 : bytes[2];
  const int code = bytes[0] * 1000 + bytes[1] * 100 + c;
  return code == 6380 ? 6320 : code;
}

Firmware FirmwareOfCode(int code) {
  Firmware fw;
  fw.versionCode = code;
  if (auto bytes = VersionBytesOf(code)) fw.versionBytes = *bytes;
  // The program reads 6380 as 6320 and treats the unit accordingly.
  if (code == 6380) code = 6320;
  fw.displayVariant = DisplayVariantOf(code);
  fw.needsPanelStart = code >= kFirstPanelStartCode;

  // The compact-directory units, by the same ranges the program folds codes into.
  if (code >= 8530) {
    fw.memory = MemoryKind::kCompact;
    if (code <= 9545) {
      fw.family = "853";
      fw.defaultPackingModes = 1;
    } else {
      fw.family = code <= 9615 ? "960" : (code >= 9620 && code <= 9625) ? "962" : "96XX";
      fw.defaultPackingModes = 2;
      fw.wideMemorySize = fw.family == "96XX";
    }
    return fw;
  }

  for (const HeaderFamily& family : kHeaderFamilies) {
    for (int c : family.codes) {
      if (c == 0) break;
      if (c == code) {
        fw.family = family.name;
        fw.header = family.geometry;
        // The 621a is recognised by its answer to request 15 and never asked
        // for its version.
        fw.answers15WithZero = code == 6210;
        fw.knowsVersion = code != 6210;
        return fw;
      }
    }
  }
  fw.family = "632 (no driver for this code)";
  fw.header = kHeaderFamilies[1].geometry;
  return fw;
}

}  // namespace tgxsim
