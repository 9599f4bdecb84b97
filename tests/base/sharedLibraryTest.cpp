#include "platform/sharedLibrary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fatalCatch.h"

using namespace tulim;
using namespace tulim::test;
using ::testing::AllOf;
using ::testing::HasSubstr;

TEST(SharedLibrary, LoadsALibraryAndFindsItsFunctions) {
  const sharedLibrary math("libm.so.6", "The test");
  auto cosine = reinterpret_cast<double (*)(double)>(math.symbol("cos"));
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(math.name(), "libm.so.6");
}

TEST(SharedLibrary, MissingLibrariesAndSymbolsAreFatalAndNamed) {
  EXPECT_THAT(expectFatal([] { sharedLibrary none("libtulim-none.so.0", "Reading the test input"); }),
              AllOf(HasSubstr("Reading the test input needs the shared library libtulim-none.so.0"),
                    HasSubstr("cannot be loaded")));
  const sharedLibrary math("libm.so.6", "The test");
  EXPECT_THAT(expectFatal([&] { math.symbol("tulim_no_such_function"); }),
              AllOf(HasSubstr("The test needs tulim_no_such_function from the shared library libm.so.6"),
                    HasSubstr("lacks it")));
}
