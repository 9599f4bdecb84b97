#include "TCipherOutputStream.h"

#include <gtest/gtest.h>

#include <string>

#include "TCipherInputStream.h"
#include "TFileInputStream.h"
#include "TFileOutputStream.h"
#include "memoryStreams.h"
#include "testFiles.h"

using namespace tulim;
using namespace tulim::test;

TEST(TCipherOutputStream, CombinesBytesWithTheRepeatingKey) {
  memoryOutputStream inner;
  TCipherOutputStream out(&inner);
  out.write('A');
  out.setKey("\x01\xf0");
  out.write(0x10);
  out.write(0x10);
  out.write(0x110);  // only the low byte counts
  out.setKey(nullptr);
  out.write(0x80);
  EXPECT_EQ(inner.bytes, std::string("A\x11\xe0\x11\x80", 5));
}

TEST(TCipherOutputStream, CipherInputWithTheSameKeyReadsBack) {
  std::string plain;
  for (int i = 0; i < 600; ++i) plain += static_cast<char>((i * 37 + 11) & 0xff);
  for (const char* key : {"k", "\xa4\x40\xff\x80", "a longer key of many bytes"}) {
    scratchDir dir;
    std::string path = dir.file("secret");
    {
      TFileOutputStream file;
      ASSERT_TRUE(file.open(path.c_str()));
      TCipherOutputStream out(&file);
      out.setKey(key);
      out.write(plain.data(), static_cast<int>(plain.size()));
    }
    EXPECT_NE(readFile(path), plain);
    TFileInputStream file(16);
    ASSERT_TRUE(file.open(path.c_str()));
    TCipherInputStream in(&file);
    in.setKey(key);
    std::string back(plain.size(), '\0');
    EXPECT_EQ(in.read(&back[0], 1000), static_cast<int>(plain.size()));
    EXPECT_EQ(back, plain) << "key " << key;
  }
}
