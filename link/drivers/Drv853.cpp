#include "link/drivers/Drv853.h"

#include <algorithm>
#include <array>
#include <vector>

#include "link/Arjvol.h"
#include "link/Codes.h"
#include "link/drivers/Drv632.h"
#include "model/Le.h"

namespace {
using CompactBlock = std::array<uint8_t, kCompactBlockSize>;

bool ImageFits(int32_t size, int64_t limit) { return size >= 0 && size <= kMaxCompactImageBytes && size <= limit; }

void RefuseImage(int32_t size, int64_t limit) {
  SessionContext& s = Session();
  s.ResultCode = kResultNoMemory;
  s.ImageBytes = size;
  s.ImageRoom = std::min<int64_t>(limit, kMaxCompactImageBytes);
}
}  // namespace

void ReadTables853() {
  SessionContext& s = Session();
  s.Tables->Clear();
  CompactBlock block{};
  if (!ReadUnit(kReqCompactDirectory, block.data(), kCompactBlockSize)) return;
  const int32_t mode = tgx::GetLe16(block.data());
  TableDirectory dir;
  int32_t packed = 0;
  // A mode word other than 0 or 1 is as impossible as a bad record.
  s.ResultCode = DecodeDirectory(block.data() + 2, mode, dir, packed);
  if (s.ResultCode != kStatusOk || dir.UniqueCount == 0) return;
  ExpectWireBytes(TransferWireBytes(packed, false));
  std::vector<uint8_t> image(static_cast<size_t>(packed));
  if (!ReadUnit(kReqImage, image.data(), packed)) return;
  s.ResultCode = DecodeTables(dir, mode, image.data(), packed, *s.Tables);
}

void WriteTables853(int32_t mode, int64_t limit, bool unit96x) {
  SessionContext& s = Session();
  TArjTab arj(mode);
  TableDirectory dir;
  if (!PackSessionTables(arj, dir)) return;
  CompactBlock block{};
  tgx::PutLe16(block.data(), static_cast<uint16_t>(mode));
  DirectoryToRecords(dir, block.data() + 2);
  ExpectWireBytes((unit96x && limit == 0 ? TransferWireBytes(4, false) : 0) + kPrepareWireBytes +
                  (dir.UniqueCount > 0 ? TransferWireBytes(arj.Size(), true) : 0) +
                  TransferWireBytes(kCompactBlockSize, true));

  if (!unit96x) {
    if (!ImageFits(arj.Size(), limit)) {
      RefuseImage(arj.Size(), limit);
      return;
    }
    if (!Prepare()) return;
  } else {
    if (!Prepare()) return;
    if (limit == 0 && !ReadMemorySize(limit, true)) return;
    if (!ImageFits(arj.Size(), limit)) {
      RefuseImage(arj.Size(), limit);
      return;
    }
  }
  // The image goes first, so the directory never points at a missing image.
  if (dir.UniqueCount > 0 && !WriteUnit(kReqImage, arj.Bytes(), arj.Size())) return;
  if (!WriteUnit(kReqCompactDirectory, block.data(), kCompactBlockSize) && dir.UniqueCount > 0)
    s.DirectoryRefusedAfterImage = true;
}

void DeleteTables853() {
  const CompactBlock zeros{};
  ExpectWireBytes(kPrepareWireBytes + TransferWireBytes(kCompactBlockSize, true));
  if (!Prepare()) return;
  WriteUnit(kReqCompactDirectory, zeros.data(), kCompactBlockSize);
}

void RunDrv853() {
  switch (Session().Operation) {
    case kOpWrite: WriteTables853(0, kDrv853Limit, false); break;
    case kOpRead: ReadTables853(); break;
    case kOpDelete: DeleteTables853(); break;
    default: Session().ResultCode = kResultBadOperation; break;
  }
}
