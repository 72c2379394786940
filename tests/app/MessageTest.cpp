#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/app/BMessage.h"

namespace {

BMessage Position() {
  BMessage m(FourCC("M23d"));
  m.AddInt32("objectid", 0);
  m.AddFloat("x", -31.25f);
  m.AddFloat("y", 0.5f);
  m.AddFloat("z", 64.0f);
  return m;
}

void PutU32(std::vector<uint8>& bytes, size_t at, uint32 v) {
  for (int i = 0; i < 4; i++) bytes[at + size_t(i)] = uint8(v >> (8 * i));
}

}  // namespace

TEST(Message, FieldsKeepTheirOrderTypesAndRepeatedValues) {
  BMessage m(FourCC("test"));
  EXPECT_EQ(m.AddInt32("n", 1), B_OK);
  EXPECT_EQ(m.AddString("s", "hi"), B_OK);
  EXPECT_EQ(m.AddInt32("n", 2), B_OK);
  EXPECT_EQ(m.AddBool("b", true), B_OK);
  EXPECT_EQ(m.AddFloat("f", 0.25f), B_OK);
  ASSERT_EQ(m.CountFields(), 5);
  const char* names[] = {"n", "s", "n", "b", "f"};
  type_code types[] = {B_INT32_TYPE, B_STRING_TYPE, B_INT32_TYPE, B_BOOL_TYPE, B_FLOAT_TYPE};
  for (int32 i = 0; i < 5; i++) {
    const char* name;
    type_code type;
    ASSERT_EQ(m.GetInfo(i, &name, &type), B_OK);
    EXPECT_STREQ(name, names[i]);
    EXPECT_EQ(type, types[i]);
  }
  EXPECT_EQ(m.GetInfo(5, nullptr, nullptr), B_BAD_INDEX);

  int32 n = 0;
  EXPECT_EQ(m.FindInt32("n", 1, &n), B_OK);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(m.FindInt32("n", 2, &n), B_BAD_INDEX);
  EXPECT_EQ(n, 2) << "a failed Find leaves the value alone";
  float f = 0;
  EXPECT_EQ(m.FindFloat("n", &f), B_BAD_TYPE);
  EXPECT_EQ(m.FindFloat("missing", &f), B_NAME_NOT_FOUND);
  EXPECT_EQ(m.FindFloat("f", &f), B_OK);
  EXPECT_EQ(f, 0.25f);
  bool b = false;
  EXPECT_EQ(m.FindBool("b", &b), B_OK);
  EXPECT_TRUE(b);
  const char* s = nullptr;
  EXPECT_EQ(m.FindString("s", &s), B_OK);
  EXPECT_STREQ(s, "hi");

  // One name, one type: an array never mixes types.
  EXPECT_EQ(m.AddFloat("n", 1.0f), B_BAD_TYPE);
  EXPECT_EQ(m.CountFields(), 5);

  m.MakeEmpty();
  EXPECT_TRUE(m.IsEmpty());
  EXPECT_EQ(m.what, FourCC("test"));
}

TEST(Message, RefusesNamesAndStringsTheWireCannotCarry) {
  BMessage m;
  EXPECT_EQ(m.AddInt32(nullptr, 1), B_BAD_VALUE);
  EXPECT_EQ(m.AddInt32("", 1), B_BAD_VALUE);
  EXPECT_EQ(m.AddInt32(std::string(256, 'n').c_str(), 1), B_BAD_VALUE);
  EXPECT_EQ(m.AddInt32(std::string(255, 'n').c_str(), 1), B_OK);
  EXPECT_EQ(m.AddString("s", nullptr), B_BAD_VALUE);
  EXPECT_EQ(m.AddString("s", std::string("a\0b", 3)), B_BAD_VALUE);
  EXPECT_EQ(m.AddString("s", std::string(BMessage::kMaxStringLength + 1, 'x')), B_BAD_VALUE);
  EXPECT_EQ(m.CountFields(), 1);
}

TEST(Message, FlattensToTheDocumentedBytes) {
  BMessage m(FourCC("M23d"));
  m.AddInt32("objectid", 0);
  m.AddFloat("x", 0.5f);
  const std::vector<uint8> expected = {
      0x5a, 0x4d, 0x53, 0x47, 0x01, 0x00, 0x00, 0x00, 0x2f, 0x00, 0x00, 0x00, 0x64, 0x33,
      0x32, 0x4d, 0x02, 0x00, 0x00, 0x00, 0x47, 0x4e, 0x4f, 0x4c, 0x08, 0x6f, 0x62, 0x6a,
      0x65, 0x63, 0x74, 0x69, 0x64, 0x00, 0x00, 0x00, 0x00, 0x54, 0x4f, 0x4c, 0x46, 0x01,
      0x78, 0x00, 0x00, 0x00, 0x3f};
  EXPECT_EQ(m.Flatten(), expected);
  EXPECT_EQ(m.FlattenedSize(), expected.size());
}

TEST(Message, RoundTripsEveryTypeAndExtremeValue) {
  BMessage m(0xFFFFFFFFu);
  m.AddInt32("min", std::numeric_limits<int32>::min());
  m.AddInt32("max", std::numeric_limits<int32>::max());
  m.AddFloat("nan", std::nanf(""));
  m.AddFloat("-inf", -std::numeric_limits<float>::infinity());
  m.AddFloat("tiny", std::numeric_limits<float>::denorm_min());
  m.AddString("empty", "");
  m.AddString("long", std::string(BMessage::kMaxStringLength, 'q'));
  m.AddString("utf8", "Größe");
  m.AddBool("no", false);
  m.AddBool("no", true);
  m.AddInt32(std::string(255, 'k').c_str(), 7);

  std::vector<uint8> bytes = m.Flatten();
  BMessage back;
  std::string why;
  ASSERT_EQ(back.Unflatten(bytes.data(), bytes.size(), &why), B_OK) << why;
  EXPECT_TRUE(back == m);
  EXPECT_EQ(back.Flatten(), bytes);
  bool second = false;
  EXPECT_EQ(back.FindBool("no", 1, &second), B_OK);
  EXPECT_TRUE(second);

  BMessage none(B_QUIT_REQUESTED);
  bytes = none.Flatten();
  EXPECT_EQ(bytes.size(), 20u);
  ASSERT_EQ(back.Unflatten(bytes.data(), bytes.size()), B_OK);
  EXPECT_TRUE(back == none);
}

TEST(MessageDecoder, RefusesEveryCutShortMessage) {
  std::vector<uint8> bytes = Position().Flatten();
  for (size_t length = 0; length < bytes.size(); length++) {
    BMessage m = Position();
    std::string why;
    EXPECT_EQ(m.Unflatten(bytes.data(), length, &why), B_BAD_DATA) << length;
    EXPECT_FALSE(why.empty());
    EXPECT_TRUE(m == Position()) << "a refused message leaves the old one alone";
  }
  BMessage m;
  EXPECT_EQ(m.Unflatten(nullptr, 0), B_BAD_DATA);
}

TEST(MessageDecoder, RefusesMalformedBytesWithAReason) {
  BMessage one(FourCC("abcd"));
  one.AddInt32("n", 1);
  one.AddString("s", "hi");
  one.AddBool("b", true);
  const std::vector<uint8> good = one.Flatten();
  // Offsets in `good`: header 20; "n" field 20..29 (type 20, name length 24, name 25,
  // value 26); "s" field 30..41 (type 30, name length 34, name 35, length 36, text 40);
  // "b" field 42..48.
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8>&)> damage;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"magic", [](auto& b) { b[0] = 'X'; }, "ZMSG"},
      {"version", [](auto& b) { b[4] = 2; }, "version 2"},
      {"reserved", [](auto& b) { b[6] = 1; }, "reserved"},
      {"total size", [](auto& b) { PutU32(b, 8, uint32(b.size() + 1)); }, "bytes long"},
      {"field count", [](auto& b) { PutU32(b, 16, 5000); }, "too many fields"},
      {"count past the end", [](auto& b) { PutU32(b, 16, 4); }, "field 3: truncated"},
      {"trailing bytes", [](auto& b) { PutU32(b, 16, 2); }, "7 bytes after the last field"},
      {"unknown type", [](auto& b) { PutU32(b, 20, FourCC("RECT")); }, "unknown type"},
      {"empty name", [](auto& b) { b[24] = 0; }, "empty name"},
      {"zero in name", [](auto& b) { b[25] = 0; }, "zero byte in name"},
      {"string length", [](auto& b) { PutU32(b, 36, 0x7fffffff); }, "string too long"},
      {"string past the end", [](auto& b) { PutU32(b, 36, 10); }, "truncated string"},
      {"zero in string", [](auto& b) { b[41] = 0; }, "zero byte in string"},
      {"bool value", [](auto& b) { b.back() = 2; }, "neither 0 nor 1"},
      {"one name two types", [](auto& b) { b[35] = 'n'; }, "already holds another type"},
  };
  for (const Case& c : cases) {
    std::vector<uint8> bytes = good;
    c.damage(bytes);
    BMessage m;
    std::string why;
    EXPECT_EQ(m.Unflatten(bytes.data(), bytes.size(), &why), B_BAD_DATA) << c.what;
    EXPECT_NE(why.find(c.reason), std::string::npos) << c.what << ": " << why;
  }
}
