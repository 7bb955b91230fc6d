#pragma once
// The "853 " firmware: no header, only a 98-byte compact directory (packing
// mode word, then the 16 directory records) read and written with request 4.
// Its reads and deletes serve the 96x units too.

#include <cstdint>

constexpr int32_t kDrv853Limit = 21760;
// No compact-directory unit takes a longer image, whatever its memory: the
// compact image is capped well below what the unit's address space holds.
constexpr int32_t kMaxCompactImageBytes = 32760;
constexpr int32_t kCompactBlockSize = 98;

void ReadTables853();
// One write attempt in packing mode `mode`. The 853 checks its fixed limit
// before preparing the unit; a 96x unit is prepared first and, with `limit`
// 0, asked for its memory with a 4-byte request 2.
void WriteTables853(int32_t mode, int64_t limit, bool unit96x);
void DeleteTables853();
void RunDrv853();
