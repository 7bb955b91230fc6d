// The read path of the table drivers over bytes as a unit might send them:
// directory records (inside a header of any geometry, or in the compact
// block with its mode word) and then the image. Whatever arrives, the read
// ends with tables or with a link error, never out of bounds or huge.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "link/Codes.h"
#include "link/drivers/Drv632.h"
#include "link/drivers/Drv853.h"
#include "model/Le.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // First byte: which driver reads it.
  const size_t which = data[0] % (kHeaderGeometries.size() + 1);
  ++data;
  --size;

  std::vector<uint8_t> records(kRecordsBytes, 0);
  int32_t mode = 0;
  if (which < kHeaderGeometries.size()) {
    const HeaderGeometry& g = kHeaderGeometries[which];
    std::vector<uint8_t> header(static_cast<size_t>(g.HeaderSize), 0);
    const size_t n = size < header.size() ? size : header.size();
    std::memcpy(header.data(), data, n);
    data += n;
    size -= n;
    std::memcpy(records.data(), header.data() + g.RecordsOffset, kRecordsBytes);
  } else {
    std::vector<uint8_t> block(kCompactBlockSize, 0);
    const size_t n = size < block.size() ? size : block.size();
    std::memcpy(block.data(), data, n);
    data += n;
    size -= n;
    mode = tgx::GetLe16(block.data());
    std::memcpy(records.data(), block.data() + 2, kRecordsBytes);
  }

  TableDirectory dir;
  int32_t packed = -1;
  const int32_t rc = DecodeDirectory(records.data(), mode, dir, packed);
  if (rc != kStatusOk) {
    if (packed != 0 || dir.UniqueCount != 0) std::abort();
    return 0;
  }
  if (packed < 0 || packed > kMaxUnitImageBytes) std::abort();
  // The image as received: exactly as long as asked for, or not.
  GROUPTAB tables;
  const int32_t given = static_cast<int32_t>(size < 70000 ? size : 70000);
  const int32_t result = DecodeTables(dir, mode, data, given < packed ? given : packed, tables);
  if (given >= packed && result != kStatusOk) std::abort();
  if (result != kStatusOk && tables.Count() != 0) std::abort();
  if (tables.Count() > GROUPTAB::kMaxTables) std::abort();
  return 0;
}
