#pragma once
// The compact form in which the journal keeps a set of volume tables, and the
// checksum that guards it.
//
// Layout: one format byte (kTableSetFormat), the number of tables, then per
// table its number of entries and every entry as the second difference from
// the two before it (entries before the first count as 0), all as LEB128
// varints, the differences zig-zag mapped. A volume curve bends slowly, so
// most second differences are a few litres and take one byte; any table of
// 32-bit entries encodes, only less compactly.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/Prjvol.h"

namespace tgx {

inline constexpr uint8_t kTableSetFormat = 1;

std::string EncodeTables(const GROUPTAB& tables);
// Nothing for bytes that are not a whole encoded set: an unknown format byte,
// more than 16 tables, a cut-off or over-long varint, an entry outside the
// 32-bit range, or bytes left over. Never allocates more than the input can
// describe.
std::optional<GROUPTAB> DecodeTables(std::string_view bytes);

// CRC-64 (the ECMA-182 polynomial, reflected, as used by xz): the content
// checksum of an encoded set, and of a project file.
uint64_t Checksum64(std::string_view bytes);

}  // namespace tgx
