// Text encodings of drawings: code pages, UTF-8 and the escapes CAD
// programs write for characters outside the code page.
#include "cadhost/engine/codepage.h"

#include <gtest/gtest.h>

namespace {

using cadhost::engine::Codec;

TEST(Codepage, GbkDrawingsDecodeAndEncodeChinese) {
  Codec gbk("ANSI_936", false);
  EXPECT_EQ(gbk.decode("\xC1\xE3\xBC\xFE"), "零件");
  EXPECT_EQ(gbk.encode("零件 A"), "\xC1\xE3\xBC\xFE A");
  // Not every character exists in GBK: the escape keeps it.
  EXPECT_EQ(gbk.encode("Ø€😀"), "\\U+00D8\x80\\U+D83D\\U+DE00");
  EXPECT_EQ(gbk.decode(gbk.encode("Ø€😀")), "Ø€😀");
  // A broken double-byte character becomes a replacement, not a crash.
  EXPECT_EQ(gbk.decode("A\xC1"), "A\xEF\xBF\xBD");
}

TEST(Codepage, UnicodeEscapesAreResolved) {
  Codec western("ANSI_1252", false);
  EXPECT_EQ(western.decode("\\U+96f6\\U+4EF6 \xFC"), "零件 ü");
  EXPECT_EQ(western.decode("\\U+D83D\\U+DE00"), "😀");
  // Not an escape: kept as written.
  EXPECT_EQ(western.decode("C:\\Users\\U+ZZ"), "C:\\Users\\U+ZZ");
  EXPECT_EQ(western.decode("\\U+12"), "\\U+12");
  // MIF escapes of old drawings: \M+5 is GBK.
  EXPECT_EQ(western.decode("\\M+5C1E3\\M+5BCFE"), "零件");
}

TEST(Codepage, Utf8DrawingsKeepTheirText) {
  Codec utf8("ANSI_1252", true);  // R2007 on ignore the code page
  EXPECT_TRUE(utf8.isUtf8());
  EXPECT_EQ(utf8.decode("技术要求"), "技术要求");
  EXPECT_EQ(utf8.encode("技术要求"), "技术要求");
  EXPECT_EQ(utf8.decode("bad \xFF byte"), "bad \xEF\xBF\xBD byte");
}

TEST(Codepage, UnknownCodePagesFallBackToWindowsWestern) {
  Codec odd("ANSI_9999", false);
  EXPECT_EQ(odd.charset(), "CP1252");
  EXPECT_EQ(odd.decode("\xE9"), "é");
}

}  // namespace
