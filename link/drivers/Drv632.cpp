#include "link/drivers/Drv632.h"

#include <cstring>
#include <vector>

#include "link/session/Bvlink.h"
#include "link/Ukdr_drv.h"
#include "link/drivers/Drv853.h"
#include "link/drivers/Drv960.h"

namespace {
uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void PutU16(uint8_t* p, int32_t v) {
  p[0] = static_cast<uint8_t>(v & 0xFF);
  p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

void AppendLog() {
  SessionContext& s = Session();
  if (s.SessionLog && s.Link) *s.SessionLog += s.Link->LogText();
}

// The common tail of every request function.
bool Settle(bool completed) {
  SessionContext& s = Session();
  AppendLog();
  s.ResultCode = completed ? s.Link->LastStatus() : kResultLinkError;
  return s.ResultCode == kResultOk;
}

// Codes inside a firmware family's range all mean that family's table layout.
int32_t NormaliseVersionCode(int32_t code) {
  if (code >= 8530 && code <= 9545) return 8530;
  if (code >= 9600 && code <= 9615) return 9600;
  if (code >= 9620 && code <= 9625) return 9620;
  return code;
}

void SetStoredFlag(uint8_t* field, bool stored) {
  // Only bit 2 is ours; the unit keeps other state in the rest of the field,
  // and for 16-bit words bit 2 lives in the low byte.
  if (stored) *field = static_cast<uint8_t>(*field | kStoredFlag);
  else *field = static_cast<uint8_t>(*field & ~kStoredFlag);
}

uint8_t* FlagField(std::vector<uint8_t>& header, const HeaderGeometry& g, int p) {
  return header.data() + g.FlagsOffset + p * g.FlagWidth;
}
}  // namespace

SessionContext& Session() {
  static SessionContext context;
  return context;
}

bool Prepare() {
  uint8_t ignored = 0;
  return Settle(Session().Link->QuickRead(kReqPrepare, 0, &ignored, 1));
}

bool ReadUnit(uint8_t code, void* dst, int32_t n) { return Settle(Session().Link->ReadBlock(code, dst, n)); }

bool WriteUnit(uint8_t code, const void* src, int32_t n) { return Settle(Session().Link->WriteBlock(code, src, n)); }

bool ReadMemorySize(int64_t& size, bool wide) {
  uint8_t b[4] = {};
  if (!ReadUnit(kReqMemorySize, b, wide ? 4 : 2)) return false;
  size = wide ? static_cast<int64_t>(static_cast<uint32_t>(b[0] | (b[1] << 8) | (b[2] << 16)) |
                                     (static_cast<uint32_t>(b[3]) << 24))
              : static_cast<int64_t>(GetU16(b));
  return true;
}

bool ReadPackingModes(int32_t& highestMode) {
  uint8_t b[2] = {};
  if (!ReadUnit(kReqPackingModes, b, 2)) {
    if (Session().ResultCode == kResultUnsupported) Session().ResultCode = kResultNoDriver;
    return false;
  }
  highestMode = static_cast<int32_t>(GetU16(b)) - 1;
  return true;
}

bool Restart() { return Settle(Session().Link->Command(kReqRestart)); }

bool Identify(uint8_t& versionId) {
  // Only the last request's log is kept: the probe's log is of no use once
  // the version query has run.
  UKEDR_DRV& link = *Session().Link;
  if (!link.QuickCommand(kReqProbe)) {
    AppendLog();
    return false;
  }
  const int32_t status = link.LastStatus();
  if (status == 0) {
    // Only the 621a answers the probe; it wants command 14 to leave that state.
    link.QuickCommand(kReqRestart);
    AppendLog();
    versionId = 4;
    return true;
  }
  if (status != kResultUnsupported) {
    AppendLog();
    return false;
  }
  bool known = false;
  int32_t code = 0;
  const bool ok = link.QueryVersion(known, code);
  AppendLog();
  if (!ok) return false;
  versionId = known ? VersionIdOfCode(NormaliseVersionCode(code)) : 0;
  return true;
}

void RecordsToDirectory(const uint8_t* records, TableDirectory& dir) {
  dir = TableDirectory{};
  std::array<bool, 16> seen{};
  for (int p = 0; p < 16; ++p) {
    const int32_t number = GetU16(records + p * kRecordSize);
    const int32_t count = GetU16(records + p * kRecordSize + 4);
    dir.Slots[static_cast<size_t>(p)] = number;
    if (number > dir.UniqueCount) dir.UniqueCount = number;
    if (number >= 1 && number <= 16 && !seen[static_cast<size_t>(number - 1)]) {
      seen[static_cast<size_t>(number - 1)] = true;
      dir.Counts[static_cast<size_t>(number - 1)] = count;
    }
  }
}

bool PackSessionTables(TArjTab& arj, TableDirectory& dir) {
  SessionContext& s = Session();
  arj.Pack(*s.Tables);
  if (arj.Errors > 0) {
    s.ResultCode = kResultPackError;
    return false;
  }
  arj.SaveDirectory(dir);
  return true;
}

void DirectoryToRecords(const TableDirectory& dir, uint8_t* records) {
  std::memset(records, 0, kRecordsBytes);
  if (dir.UniqueCount == 0) return;
  for (int p = 0; p < 16; ++p) {
    const int32_t number = dir.Slots[static_cast<size_t>(p)];
    if (number < 1 || number > 16) continue;
    PutU16(records + p * kRecordSize, number);
    PutU16(records + p * kRecordSize + 4, dir.Counts[static_cast<size_t>(number - 1)]);
  }
}

int32_t DecodeDirectory(const uint8_t* records, int32_t mode, TableDirectory& dir, int32_t& packedSize) {
  RecordsToDirectory(records, dir);
  packedSize = 0;
  // Nothing is sized from the unit's numbers until they describe a table
  // memory that could exist.
  if (!DirectoryIsSane(dir, mode)) {
    dir = TableDirectory{};
    return kResultLinkError;
  }
  for (int k = 0; k < dir.UniqueCount; ++k) packedSize += StoredSize(mode, dir.Counts[static_cast<size_t>(k)]);
  return kResultOk;
}

int32_t DecodeTables(const TableDirectory& dir, int32_t mode, const uint8_t* image, int32_t n, GROUPTAB& tables) {
  tables.Clear();
  if (!DirectoryIsSane(dir, mode)) return kResultLinkError;
  TArjTab arj(mode);
  arj.LoadDirectory(dir);
  if (n != arj.Size()) return kResultLinkError;
  if (n > 0) std::memcpy(arj.Bytes(), image, static_cast<size_t>(n));
  if (!arj.Unpack(tables)) {
    tables.Clear();
    return kResultLinkError;
  }
  return kResultOk;
}

const HeaderGeometry* HeaderGeometryOf(uint8_t driverIndex) {
  for (const HeaderGeometry& g : kHeaderGeometries)
    if (g.DriverIndex == driverIndex) return &g;
  return nullptr;
}

void ReadTables(const HeaderGeometry& g) {
  SessionContext& s = Session();
  s.Tables->Clear();
  if (!Prepare()) return;
  std::vector<uint8_t> header(static_cast<size_t>(g.HeaderSize));
  if (!ReadUnit(kReqHeader, header.data(), g.HeaderSize)) return;
  TableDirectory dir;
  int32_t packed = 0;
  s.ResultCode = DecodeDirectory(header.data() + g.RecordsOffset, 0, dir, packed);
  if (s.ResultCode != kResultOk || dir.UniqueCount == 0) return;
  std::vector<uint8_t> image(static_cast<size_t>(packed));
  if (!ReadUnit(kReqImage, image.data(), packed)) return;
  s.ResultCode = DecodeTables(dir, 0, image.data(), packed, *s.Tables);
}

void WriteTables(const HeaderGeometry& g) {
  SessionContext& s = Session();
  TArjTab arj(0);
  TableDirectory dir;
  if (!PackSessionTables(arj, dir)) return;
  int64_t memory = 0;
  if (!ReadMemorySize(memory, false)) return;
  // The unit needs room for its header and a working reserve besides the image.
  if (memory - (g.HeaderSize + g.Reserve) < arj.Size()) {
    s.ResultCode = kResultNoMemory;
    return;
  }
  if (!Prepare()) return;
  std::vector<uint8_t> header(static_cast<size_t>(g.HeaderSize));
  if (!ReadUnit(kReqHeader, header.data(), g.HeaderSize)) return;
  DirectoryToRecords(dir, header.data() + g.RecordsOffset);
  for (int p = 0; p < 16; ++p) SetStoredFlag(FlagField(header, g, p), dir.Slots[static_cast<size_t>(p)] != 0);
  // The unit expects the image before the header that points into it: a
  // failure in between leaves the old header in charge.
  if (dir.UniqueCount > 0 && !WriteUnit(kReqImage, arj.Bytes(), arj.Size())) return;
  WriteUnit(kReqHeader, header.data(), g.HeaderSize);
}

void DeleteTables(const HeaderGeometry& g) {
  if (!Prepare()) return;
  std::vector<uint8_t> header(static_cast<size_t>(g.HeaderSize));
  if (!ReadUnit(kReqHeader, header.data(), g.HeaderSize)) return;
  // The image stays in the unit; only the header stops pointing at it.
  for (int p = 0; p < 16; ++p) SetStoredFlag(FlagField(header, g, p), false);
  std::memset(header.data() + g.RecordsOffset, 0, kRecordsBytes);
  WriteUnit(kReqHeader, header.data(), g.HeaderSize);
}

void RunDriver(const HeaderGeometry& g) {
  switch (Session().Operation) {
    case kOperationWrite: WriteTables(g); break;
    case kOperationRead: ReadTables(g); break;
    case kOperationDelete: DeleteTables(g); break;
    default: Session().ResultCode = kResultBadOperation; break;
  }
}

bool RunDriverOfIndex(uint8_t driverIndex) {
  if (const HeaderGeometry* g = HeaderGeometryOf(driverIndex)) {
    RunDriver(*g);
    return true;
  }
  if (driverIndex == kDrv853Index) {
    RunDrv853();
    return true;
  }
  if (IsDrv960Index(driverIndex)) {
    RunDrv960(driverIndex);
    return true;
  }
  return false;
}
