#include "link/drivers/Drv632.h"

#include <cstring>
#include <vector>

#include "link/Codes.h"
#include "link/Ukdr_drv.h"
#include "link/Versions.h"
#include "model/Le.h"

namespace {
using tgx::GetLe16;
using tgx::GetLe32;
using tgx::PutLe16;

void AppendLog() {
  SessionContext& s = Session();
  if (s.SessionLog && s.Link) *s.SessionLog += s.Link->LogText();
}

// The common tail of every request function.
bool Settle(bool completed) {
  SessionContext& s = Session();
  AppendLog();
  s.ResultCode = completed ? s.Link->LastStatus() : kStatusLinkFailure;
  return s.ResultCode == kStatusOk;
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

bool Prepare() {
  uint8_t ignored = 0;
  return Settle(Session().Link->QuickRead(kReqPrepare, 0, &ignored, 1));
}

int64_t TransferWireBytes(int32_t n, bool write) {
  // Two handshake reads of a word with its checksum, the parameter block
  // with its checksum and acknowledgement, then the block's transaction.
  const int64_t handshake = 2 * (1 + 1 + 2 + 1);
  const int64_t parameters = 1 + 1 + 4 + 1 + 1;
  const int64_t block = 1 + 1 + n + ((write ? n > 2 : n >= 2) ? 1 : 0) + (write ? 1 : 0);
  return handshake + parameters + block;
}

void ExpectWireBytes(int64_t more) {
  SessionContext& s = Session();
  if (s.WireTotal == nullptr || s.Link == nullptr) return;
  const int64_t total = s.Link->BytesExchanged() + more + s.WireAfterDriver;
  if (total > s.WireTotal->load()) s.WireTotal->store(total);
}

// Once a total is planned, a request never runs past it.
void KeepWithinPlan(int32_t n, bool write) {
  SessionContext& s = Session();
  if (s.WireTotal != nullptr && s.WireTotal->load() > 0) ExpectWireBytes(TransferWireBytes(n, write));
}

bool ReadUnit(uint8_t code, void* dst, int32_t n) {
  KeepWithinPlan(n, false);
  return Settle(Session().Link->ReadBlock(code, dst, n));
}

bool WriteUnit(uint8_t code, const void* src, int32_t n) {
  KeepWithinPlan(n, true);
  return Settle(Session().Link->WriteBlock(code, src, n));
}

bool ReadMemorySize(int64_t& size, bool wide) {
  uint8_t b[4] = {};
  if (!ReadUnit(kReqMemorySize, b, wide ? 4 : 2)) return false;
  size = wide ? static_cast<int64_t>(GetLe32(b)) : static_cast<int64_t>(GetLe16(b));
  return true;
}

bool ReadPackingModes(int32_t& highestMode) {
  uint8_t b[2] = {};
  if (!ReadUnit(kReqPackingModes, b, 2)) {
    if (Session().ResultCode == kStatusUnsupported) Session().ResultCode = kResultNoDriver;
    return false;
  }
  highestMode = static_cast<int32_t>(GetLe16(b)) - 1;
  return true;
}

bool Restart() { return Settle(Session().Link->Command(kReqRestart)); }

bool Identify(uint8_t& versionId) {
  int32_t code = 0;
  return Identify(versionId, code);
}

bool Identify(uint8_t& versionId, int32_t& versionCode) {
  // Only the last request's log is kept: the probe's log is of no use once
  // the version query has run.
  UKEDR_DRV& link = *Session().Link;
  if (!link.QuickCommand(kReqProbe)) {
    AppendLog();
    return false;
  }
  const int32_t status = link.LastStatus();
  if (status == kStatusOk) {
    // Only the 621a answers the probe; it wants command 14 to leave that state.
    link.QuickCommand(kReqRestart);
    AppendLog();
    versionId = kVersionId621a;
    versionCode = 6210;
    return true;
  }
  if (status != kStatusUnsupported) {
    AppendLog();
    return false;
  }
  bool known = false;
  int32_t code = 0;
  const bool ok = link.QueryVersion(known, code);
  AppendLog();
  if (!ok) return false;
  versionId = known ? VersionIdOfReportedCode(code) : kUntoldVersionId;
  versionCode = known ? code : 0;
  return true;
}

void RecordsToDirectory(const uint8_t* records, TableDirectory& dir) {
  dir = TableDirectory{};
  std::array<bool, 16> seen{};
  for (int p = 0; p < 16; ++p) {
    const int32_t number = GetLe16(records + p * kRecordSize);
    const int32_t count = GetLe16(records + p * kRecordSize + 4);
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
  s.PackMode = arj.Mode;
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
    PutLe16(records + p * kRecordSize, static_cast<uint16_t>(number));
    PutLe16(records + p * kRecordSize + 4, static_cast<uint16_t>(dir.Counts[static_cast<size_t>(number - 1)]));
  }
}

int32_t DecodeDirectory(const uint8_t* records, int32_t mode, TableDirectory& dir, int32_t& packedSize) {
  RecordsToDirectory(records, dir);
  packedSize = 0;
  // Nothing is sized from the unit's numbers until they describe a table
  // memory that could exist.
  if (!DirectoryIsSane(dir, mode)) {
    dir = TableDirectory{};
    return kStatusLinkFailure;
  }
  for (int k = 0; k < dir.UniqueCount; ++k) packedSize += StoredSize(mode, dir.Counts[static_cast<size_t>(k)]);
  return kStatusOk;
}

int32_t DecodeTables(const TableDirectory& dir, int32_t mode, const uint8_t* image, int32_t n, GROUPTAB& tables) {
  tables.Clear();
  if (!DirectoryIsSane(dir, mode)) return kStatusLinkFailure;
  TArjTab arj(mode);
  arj.LoadDirectory(dir);
  if (n != arj.Size()) return kStatusLinkFailure;
  if (n > 0) std::memcpy(arj.Bytes(), image, static_cast<size_t>(n));
  if (!arj.Unpack(tables)) {
    tables.Clear();
    return kStatusLinkFailure;
  }
  return kStatusOk;
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
  if (s.ResultCode != kStatusOk || dir.UniqueCount == 0) return;
  // A read's total is known once the directory tells the image's size.
  ExpectWireBytes(TransferWireBytes(packed, false));
  std::vector<uint8_t> image(static_cast<size_t>(packed));
  if (!ReadUnit(kReqImage, image.data(), packed)) return;
  s.ResultCode = DecodeTables(dir, 0, image.data(), packed, *s.Tables);
}

void WriteTables(const HeaderGeometry& g) {
  SessionContext& s = Session();
  TArjTab arj(0);
  TableDirectory dir;
  if (!PackSessionTables(arj, dir)) return;
  ExpectWireBytes(TransferWireBytes(2, false) + kPrepareWireBytes + TransferWireBytes(g.HeaderSize, false) +
                  (dir.UniqueCount > 0 ? TransferWireBytes(arj.Size(), true) : 0) +
                  TransferWireBytes(g.HeaderSize, true));
  int64_t memory = 0;
  if (!ReadMemorySize(memory, false)) return;
  // The unit needs room for its header and a working reserve besides the image.
  if (memory - (g.HeaderSize + g.Reserve) < arj.Size()) {
    s.ResultCode = kResultNoMemory;
    s.ImageBytes = arj.Size();
    s.ImageRoom = memory - (g.HeaderSize + g.Reserve);
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
  if (!WriteUnit(kReqHeader, header.data(), g.HeaderSize) && dir.UniqueCount > 0) s.DirectoryRefusedAfterImage = true;
}

void DeleteTables(const HeaderGeometry& g) {
  ExpectWireBytes(kPrepareWireBytes + TransferWireBytes(g.HeaderSize, false) + TransferWireBytes(g.HeaderSize, true));
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
    case kOpWrite: WriteTables(g); break;
    case kOpRead: ReadTables(g); break;
    case kOpDelete: DeleteTables(g); break;
    default: Session().ResultCode = kResultBadOperation; break;
  }
}
