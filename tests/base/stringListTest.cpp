#include "stringList.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace tulim;

TEST(StringList, KeepsItsOwnCopiesInOrder) {
  stringList list;
  char text[] = "first";
  EXPECT_EQ(list.add(text), 0);
  strcpy(text, "later");
  EXPECT_EQ(list.add(nullptr), 1);
  list.insertString(1, "\xa4\x40=\xa4\x41");
  list.insertString(-2, "zero");
  ASSERT_EQ(list.count(), 4);
  EXPECT_STREQ(list.getString(0), "zero");
  EXPECT_STREQ(list.getString(1), "first");
  EXPECT_STREQ(list.getString(2), "\xa4\x40=\xa4\x41");
  EXPECT_STREQ(list.getString(3), "");
  EXPECT_EQ(list.getString(4), nullptr);
  EXPECT_EQ(list.getString(-1), nullptr);

  list.remove(0);
  EXPECT_STREQ(list.getString(1), "\xa4\x40=\xa4\x41");
  list.clear();
  EXPECT_EQ(list.count(), 0);
  EXPECT_EQ(list.add("again"), 0);
}

TEST(StringList, NameIsTheTextBeforeTheFirstEquals) {
  stringList list;
  struct Case {
    const char* entry;
    const char* name;
    const char* value;
  };
  const Case cases[] = {
      {"rate=16000", "rate", "16000"}, {"plain", "plain", ""},
      {"path=a=b", "path", "a=b"},     {"=orphan", "", "orphan"},
      {"empty=", "empty", ""},         {"\xa6\x57\xa6\x72=\xad\xc8", "\xa6\x57\xa6\x72", "\xad\xc8"},
  };
  for (const Case& c : cases) list.add(c.entry);
  for (int i = 0; i < 6; i++) {
    EXPECT_STREQ(list.getName(i), cases[i].name) << cases[i].entry;
    EXPECT_STREQ(list.getValue(cases[i].name), cases[i].value) << cases[i].entry;
  }
  EXPECT_EQ(list.getName(6), nullptr);
}

TEST(StringList, SetValueReplacesTheEntryInPlaceOrAppends) {
  stringList list;
  EXPECT_EQ(list.setValue("rate", "16000"), 0);
  EXPECT_EQ(list.setValue("rate", "8000"), 0);
  ASSERT_EQ(list.count(), 1);
  EXPECT_STREQ(list.getString(0), "rate=8000");
  EXPECT_STREQ(list.getValue("rate"), "8000");
  EXPECT_STREQ(list.getValue("bits"), "");

  EXPECT_EQ(list.setValue("bits", "16"), 1);
  EXPECT_EQ(list.setValue("mode", "mono"), 2);
  EXPECT_EQ(list.setValue("bits", "8"), 1);
  ASSERT_EQ(list.count(), 3);
  EXPECT_STREQ(list.getString(0), "rate=8000");
  EXPECT_STREQ(list.getString(1), "bits=8");
  EXPECT_STREQ(list.getString(2), "mode=mono");
  // The value points into the stored entry.
  EXPECT_EQ(list.getValue("mode"), list.getString(2) + 5);
}

TEST(StringList, NamesMatchWholeAndByteForByte) {
  stringList list;
  list.add("rate=1");
  list.add("rate=2");  // only the first entry with a name counts
  list.add("plain");
  struct Case {
    const char* name;
    const char* value;
  };
  const Case cases[] = {{"rate", "1"}, {"Rate", ""},  {"rat", ""}, {"rate=", ""},
                        {"rates", ""}, {"plain", ""}, {"", ""}};
  for (const Case& c : cases) EXPECT_STREQ(list.getValue(c.name), c.value) << c.name;

  EXPECT_EQ(list.setValue("plain", "x"), 2);
  EXPECT_STREQ(list.getString(2), "plain=x");
  EXPECT_EQ(list.setValue("rate", "3"), 0);
  EXPECT_STREQ(list.getString(1), "rate=2");
  // A name holding '=' can never be found again.
  EXPECT_EQ(list.setValue("a=b", "c"), 3);
  EXPECT_EQ(list.setValue("a=b", "c"), 4);
  EXPECT_STREQ(list.getValue("a=b"), "");
  EXPECT_STREQ(list.getValue("a"), "b=c");
}

TEST(StringList, EntriesHaveNoLengthLimit) {
  stringList list;
  const std::string name(300, 'n');
  const std::string value(5000, 'v');
  EXPECT_EQ(list.setValue(name.c_str(), value.c_str()), 0);
  EXPECT_EQ(list.setValue(name.c_str(), (value + "w").c_str()), 0);
  EXPECT_EQ(list.getName(0), name);
  EXPECT_EQ(list.getValue(name.c_str()), value + "w");
}
