#include "SimFirmware.h"

#include <iterator>

#include "link/Versions.h"

namespace tgxsim {
namespace {

struct HeaderFamily {
  const char* name;
  HeaderGeometry geometry;
};

// Header layouts of the units that keep a table header, by the driver index
// the version table gives their codes (kFirstHeaderDriver on). They are the
// unit's own numbers, written down apart from the program's drivers so that a
// mistake in either shows up against the other.
constexpr HeaderFamily kHeaderFamilies[] = {
    {"621a", {274, 2, true, 178}},    {"632", {774, 2, false, 322}},    {"634", {808, 4, false, 356}},
    {"6343", {822, 6, false, 358}},   {"6363", {862, 6, false, 486}},   {"640", {1310, 6, false, 934}},
    {"843", {2070, 6, false, 1622}},  {"851", {750, 6, false, 422}},    {"852", {976, 6, false, 646}},
};
static_assert(std::size(kHeaderFamilies) == kLastHeaderDriver - kFirstHeaderDriver + 1);
constexpr int kPlainHeaderFamily = 1;  // "632": what a code without a driver answers like

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

int VersionCodeOf(const std::array<uint8_t, 3>& bytes) { return VersionCodeOfBytes(bytes[0], bytes[1], bytes[2]); }

Firmware FirmwareOfCode(int code) {
  Firmware fw;
  fw.versionCode = code;
  if (auto bytes = VersionBytesOf(code)) fw.versionBytes = *bytes;
  fw.displayVariant = DisplayVariantOf(code);
  fw.needsPanelStart = code >= kFirstPanelStartCode;

  // The unit keeps the memory of the driver the program picks for its code.
  const uint8_t driver = DriverOfVersion(VersionIdOfReportedCode(code));
  switch (driver) {
    case kDrv853Index:
      fw.memory = MemoryKind::kCompact;
      fw.family = "853";
      fw.defaultPackingModes = 1;
      return fw;
    case kDrv960Index:
    case kDrv962Index:
    case kDrv96XXIndex:
      fw.memory = MemoryKind::kCompact;
      fw.family = driver == kDrv960Index ? "960" : driver == kDrv962Index ? "962" : "96XX";
      fw.defaultPackingModes = 2;
      fw.wideMemorySize = driver == kDrv96XXIndex;
      return fw;
    default:
      break;
  }
  if (driver >= kFirstHeaderDriver && driver <= kLastHeaderDriver) {
    const HeaderFamily& family = kHeaderFamilies[driver - kFirstHeaderDriver];
    fw.family = family.name;
    fw.header = family.geometry;
    // The 621a is recognised by its answer to request 15 and never asked for
    // its version.
    fw.answers15WithZero = VersionIdOfReportedCode(code) == kVersionId621a;
    fw.knowsVersion = !fw.answers15WithZero;
    return fw;
  }
  fw.family = "632 (no driver for this code)";
  fw.header = kHeaderFamilies[kPlainHeaderFamily].geometry;
  return fw;
}

}  // namespace tgxsim
