#include "menubar/number_locale.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
// glibc keeps the LOCPATH search list that newlocale builds for the rest of the process;
// LeakSanitizer would report that cache as a leak of every test that sets LOCPATH.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:argz_add_sep\n";
}
#endif
#endif

namespace pulsewell {
namespace {

namespace fs = std::filesystem;

// A German locale compiled for these tests into the build tree, so they do not depend on
// which locales the machine has generated. Built once and reused.
fs::path germanLocaleDirectory() {
  const fs::path root = fs::path(PULSEWELL_BINARY_DIR) / "test-locales";
  const fs::path locale = root / "de_DE.UTF-8";
  if (fs::exists(locale / "LC_NUMERIC")) return root;
  fs::create_directories(root);
  const fs::path scratch = root / ("building-" + std::to_string(::getpid()));
  const std::string command =
      "localedef -i de_DE -f UTF-8 '" + scratch.string() + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return {};
  std::error_code error;
  fs::rename(scratch, locale, error);  // another run may have won the race; either is fine
  fs::remove_all(scratch, error);
  return fs::exists(locale / "LC_NUMERIC") ? root : fs::path{};
}

class NumberLocaleTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"LC_ALL", "LC_NUMERIC", "LANG", "LOCPATH"})
      ::unsetenv(name);
  }

  void useGermanLocales() {
    const fs::path directory = germanLocaleDirectory();
    if (directory.empty()) {
      if (std::getenv("CI") != nullptr) FAIL() << "localedef could not build de_DE.UTF-8";
      GTEST_SKIP() << "localedef is not available";
    }
    ::setenv("LOCPATH", directory.c_str(), 1);
  }
};

TEST_F(NumberLocaleTest, TheCLocaleUsesAFullStop) {
  ASSERT_TRUE(NumberLocale::named("C"));
  EXPECT_EQ(NumberLocale::named("C")->decimalSeparator, ".");
  EXPECT_EQ(NumberLocale::named("POSIX")->decimalSeparator, ".");
}

TEST_F(NumberLocaleTest, AnUnknownLocaleIsNone) {
  EXPECT_FALSE(NumberLocale::named("xx_NOWHERE.UTF-8"));
  ::setenv("LC_ALL", "xx_NOWHERE.UTF-8", 1);
  EXPECT_EQ(NumberLocale::fromEnvironment().decimalSeparator, ".");
}

TEST_F(NumberLocaleTest, NothingSetMeansTheCLocale) {
  EXPECT_EQ(NumberLocale::fromEnvironment(), NumberLocale{});
}

TEST_F(NumberLocaleTest, GermanUsesADecimalComma) {
  useGermanLocales();
  if (IsSkipped() || HasFailure()) return;
  ASSERT_TRUE(NumberLocale::named("de_DE.UTF-8"));
  EXPECT_EQ(NumberLocale::named("de_DE.UTF-8")->decimalSeparator, ",");
}

TEST_F(NumberLocaleTest, FromEnvironmentFollowsTheNumericCategory) {
  useGermanLocales();
  if (IsSkipped() || HasFailure()) return;

  ::setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(NumberLocale::fromEnvironment().decimalSeparator, ",");

  ::setenv("LANG", "C", 1);
  ::setenv("LC_NUMERIC", "de_DE.UTF-8", 1);
  EXPECT_EQ(NumberLocale::fromEnvironment().decimalSeparator, ",");

  ::setenv("LC_ALL", "C", 1);
  EXPECT_EQ(NumberLocale::fromEnvironment().decimalSeparator, ".");
}

TEST_F(NumberLocaleTest, ReadingTheLocaleLeavesTheGlobalLocaleAlone) {
  useGermanLocales();
  if (IsSkipped() || HasFailure()) return;
  ::setenv("LC_ALL", "de_DE.UTF-8", 1);
  EXPECT_EQ(NumberLocale::fromEnvironment().decimalSeparator, ",");
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%.1f", 1.5);
  EXPECT_STREQ(buffer, "1.5");
}

}  // namespace
}  // namespace pulsewell
