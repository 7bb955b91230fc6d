// The building blocks under the link and the configuration file: the binary
// stream's damaged lengths and the code page.

#include <gtest/gtest.h>

#include <string>

#include "model/Cp1251.h"
#include "model/Xstream.h"

namespace tgxtest {

TEST(Pstream, StoredLengthBeyondTheSourceFailsBeforeAllocating) {
  for (const std::string& bytes : {std::string("\xFF\xFF\xFF\x7F" "abc", 7), std::string("\xFF\xFF\xFF\xFF", 4),
                                  std::string("\x04\0\0\0abc", 7)}) {
    MemoryStream in(bytes), again(bytes);
    DATA d;
    EXPECT_THROW(in >> d, StreamError);
    EXPECT_EQ(d.Capacity(), 0);
    std::string s = "keep";
    EXPECT_THROW(again >> s, StreamError);
    EXPECT_EQ(s, "keep");
  }
}

TEST(Cp1251, RoundTripAndUnmappedCharacters) {
  const std::string bytes = tgx::FromUtf8("Градуировочные таблицы: ёЁ №5 «м³»");
  EXPECT_EQ(static_cast<uint8_t>(bytes[0]), 0xC3);  // Г
  EXPECT_EQ(tgx::ToUtf8(bytes), "Градуировочные таблицы: ёЁ №5 «м?»");  // ³ has no byte
  EXPECT_EQ(tgx::ToUtf8("\x98"), "\xEF\xBF\xBD");
  EXPECT_EQ(tgx::FromUtf8("\xC3"), "?");
}
}  // namespace tgxtest
