#include <gtest/gtest.h>

#include "platform/app/MessageText.h"

TEST(MessageText, OneLineWithTheCodeThenEachFieldInOrder) {
  BMessage m(FourCC("M23d"));
  m.AddInt32("objectid", -5);
  m.AddFloat("x", -31.25f);
  m.AddFloat("y", 0.5f);
  m.AddFloat("z", 64.0f);
  m.AddBool("on", false);
  m.AddString("say", "a \"b\"\\\n\x01");
  m.AddInt32("odd name=", 1);
  EXPECT_EQ(message_to_line(m),
            "M23d objectid=-5 x=-31.25 y=0.5 z=64.0 on=false say=\"a \\\"b\\\"\\\\\\n\\x01\" "
            "\"odd name=\"=1");
  EXPECT_EQ(message_to_line(BMessage(0x61620000)), "0x61620000");
  EXPECT_EQ(message_to_line(BMessage(FourCC("a b "))), "0x61206220");
}

TEST(MessageText, CodesAreCharactersOrHex) {
  uint32 code = 0;
  std::string error;
  EXPECT_TRUE(text_to_code("abcd", &code, &error));
  EXPECT_EQ(code, 0x61626364u);
  EXPECT_TRUE(text_to_code("ab", &code, &error));
  EXPECT_EQ(code, 0x61620000u);
  EXPECT_TRUE(text_to_code("0x4D323364", &code, &error));
  EXPECT_EQ(code, FourCC("M23d"));
  EXPECT_EQ(code_to_text(code), "M23d");
  EXPECT_FALSE(text_to_code("", &code, &error));
  EXPECT_FALSE(text_to_code("abcde", &code, &error));
  EXPECT_FALSE(text_to_code("0x123456789", &code, &error));
  EXPECT_FALSE(text_to_code("0xzz", &code, &error));
  EXPECT_NE(error.find("0xzz"), std::string::npos);
}

TEST(MessageText, FieldsFromTheCommandLine) {
  BMessage m;
  std::string error;
  EXPECT_TRUE(add_field_from_text("name:int32=5", &m, &error));
  EXPECT_TRUE(add_field_from_text("x:float=0.5", &m, &error));
  EXPECT_TRUE(add_field_from_text("s:string=hi=there", &m, &error));
  EXPECT_TRUE(add_field_from_text("b:bool=on", &m, &error));
  EXPECT_TRUE(add_field_from_text("a:b:int32=-7", &m, &error)) << "the last colon before = splits";
  EXPECT_EQ(message_to_line(m), "0x00000000 name=5 x=0.5 s=\"hi=there\" b=true a:b=-7");

  const char* refused[][2] = {
      {"noequals", "name:type=value"},      {":int32=1", "name:type=value"},
      {"n=1", "name:type=value"},           {"n:int32=", "not a 32-bit integer"},
      {"n:int32=3000000000", "not a 32-bit integer"}, {"n:int32=12abc", "not a 32-bit integer"},
      {"n:float=x", "not a number"},        {"n:float=1e99", "not a number"},
      {"n:bool=maybe", "not a bool"},       {"n:long=1", "unknown type \"long\""},
      {"name:float=1", "another type"},
  };
  for (auto& r : refused) {
    error.clear();
    EXPECT_FALSE(add_field_from_text(r[0], &m, &error)) << r[0];
    EXPECT_NE(error.find(r[1]), std::string::npos) << r[0] << ": " << error;
  }
}
