#include "menubar/strings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/quoted_text.h"

namespace pulsewell {
namespace {

using Languages = std::vector<std::string>;

std::size_t codePoints(const std::string& text) {
  std::size_t count = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) ++count;
  }
  return count;
}

struct PreferenceCase {
  Languages languages;
  bool german;
};

// The case as its test name shows it.
void PrintTo(const PreferenceCase& c, std::ostream* out) {
  *out << '{';
  for (std::size_t i = 0; i < c.languages.size(); ++i) {
    *out << (i == 0 ? "" : ", ");
    test::printQuoted(c.languages[i], out);
  }
  *out << '}';
}

class PrefersGermanTest : public testing::TestWithParam<PreferenceCase> {};

TEST_P(PrefersGermanTest, OnlyTheFirstEntryDecides) {
  EXPECT_EQ(Strings::prefersGerman(GetParam().languages), GetParam().german);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, PrefersGermanTest,
    testing::Values(PreferenceCase{{"de-DE", "en-US"}, true},
                    PreferenceCase{{"en-US", "de-DE"}, false}, PreferenceCase{{"de"}, true},
                    PreferenceCase{{"de-CH"}, true}, PreferenceCase{{"en-DE"}, false},
                    PreferenceCase{{}, false}, PreferenceCase{{"DE"}, false},
                    PreferenceCase{{"de_DE.UTF-8"}, true}, PreferenceCase{{"", "de"}, false}));

struct EnvironmentCase {
  std::string name;
  std::map<std::string, std::string> variables;
  Languages expected;
};

// The case as its test name shows it.
void PrintTo(const EnvironmentCase& c, std::ostream* out) {
  *out << c.name;
}

class PreferredLanguagesTest : public testing::TestWithParam<EnvironmentCase> {};

TEST_P(PreferredLanguagesTest, FollowsTheMessageLocaleOrder) {
  const auto& variables = GetParam().variables;
  const auto lookup = [&](const char* name) -> const char* {
    const auto found = variables.find(name);
    return found == variables.end() ? nullptr : found->second.c_str();
  };
  EXPECT_EQ(Strings::preferredLanguagesFromEnvironment(lookup), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, PreferredLanguagesTest,
    testing::Values(
        EnvironmentCase{"nothingSet", {}, {}},
        EnvironmentCase{"langOnly", {{"LANG", "de_DE.UTF-8"}}, {"de_DE.UTF-8"}},
        EnvironmentCase{
            "languageListWins", {{"LANGUAGE", "de:en"}, {"LANG", "en_US.UTF-8"}}, {"de", "en"}},
        EnvironmentCase{"languageIgnoredInCLocale", {{"LANGUAGE", "de"}, {"LANG", "C"}}, {}},
        EnvironmentCase{
            "languageIgnoredInPosixLocale", {{"LANGUAGE", "de"}, {"LC_ALL", "POSIX"}}, {}},
        EnvironmentCase{"languageIgnoredInCUtf8", {{"LANGUAGE", "de"}, {"LANG", "C.UTF-8"}}, {}},
        EnvironmentCase{"languageIgnoredWithoutLocale", {{"LANGUAGE", "de"}}, {}},
        EnvironmentCase{
            "emptyLanguage", {{"LANGUAGE", ""}, {"LANG", "de_DE.UTF-8"}}, {"de_DE.UTF-8"}},
        EnvironmentCase{
            "onlyColons", {{"LANGUAGE", "::"}, {"LANG", "de_DE.UTF-8"}}, {"de_DE.UTF-8"}},
        EnvironmentCase{"emptyEntriesDropped",
                        {{"LANGUAGE", ":en_US::de"}, {"LANG", "de_DE.UTF-8"}},
                        {"en_US", "de"}},
        EnvironmentCase{"lcAllBeforeLcMessages",
                        {{"LC_ALL", "en_GB.UTF-8"}, {"LC_MESSAGES", "de_DE.UTF-8"}},
                        {"en_GB.UTF-8"}},
        EnvironmentCase{"emptyLcAllSkipped",
                        {{"LC_ALL", ""}, {"LC_MESSAGES", "de_AT.UTF-8"}, {"LANG", "en_US.UTF-8"}},
                        {"de_AT.UTF-8"}},
        EnvironmentCase{
            "cMessagesOverGermanLang", {{"LC_MESSAGES", "C"}, {"LANG", "de_DE.UTF-8"}}, {}}),
    [](const testing::TestParamInfo<EnvironmentCase>& testInfo) { return testInfo.param.name; });

struct TextCase {
  std::string_view (*text)(bool);
  std::string english;
  std::string german;
};

// The case as its test name shows it.
void PrintTo(const TextCase& c, std::ostream* out) {
  *out << c.english;
}

class FixedTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(FixedTextTest, HasBothWordings) {
  EXPECT_EQ(GetParam().text(false), GetParam().english);
  EXPECT_EQ(GetParam().text(true), GetParam().german);
}

INSTANTIATE_TEST_SUITE_P(
    Members, FixedTextTest,
    testing::Values(TextCase{Strings::about, "About Pulsewell", "\u00dcber Pulsewell"},
                    TextCase{Strings::settings, "Settings \u2026", "Einstellungen \u2026"},
                    TextCase{Strings::quit, "Quit", "Beenden"},
                    TextCase{Strings::openPrivacy, "Open System Settings \u2026",
                             "Systemeinstellungen \u00f6ffnen \u2026"}));

struct StatusCase {
  RouterTrafficStatus status;
  std::string english;
  std::string german;
};

// The case as its test name shows it.
void PrintTo(const StatusCase& c, std::ostream* out) {
  *out << c.english;
}

class StatusTextTest : public testing::TestWithParam<StatusCase> {};

TEST_P(StatusTextTest, HasBothWordings) {
  EXPECT_EQ(Strings::status(GetParam().status, false), GetParam().english);
  EXPECT_EQ(Strings::status(GetParam().status, true), GetParam().german);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, StatusTextTest,
    testing::Values(
        StatusCase{RouterTrafficStatus::notConfigured, "Not set up yet", "Noch nicht eingerichtet"},
        StatusCase{RouterTrafficStatus::connecting, "Connecting \u2026", "Verbinde \u2026"},
        StatusCase{RouterTrafficStatus::up, "Connected", "Verbunden"},
        StatusCase{RouterTrafficStatus::down, "Interface is down", "Schnittstelle ist getrennt"},
        StatusCase{RouterTrafficStatus::noReply, "No reply (address, port, community?)",
                   "Keine Antwort (Adresse, Port, Community?)"},
        StatusCase{RouterTrafficStatus::unreachable, "Device unreachable",
                   "Ger\u00e4t nicht erreichbar"},
        StatusCase{RouterTrafficStatus::denied, "Local network access denied",
                   "Zugriff aufs lokale Netz verweigert"},
        StatusCase{RouterTrafficStatus::invalidReply, "Unexpected reply", "Unerwartete Antwort"},
        StatusCase{RouterTrafficStatus::interfaceNotFound, "Interface not found",
                   "Schnittstelle nicht gefunden"},
        StatusCase{RouterTrafficStatus::noCounters, "No byte counters", "Keine Bytez\u00e4hler"}));

TEST(StringsTest, CounterWidthsInBothLanguages) {
  EXPECT_EQ(Strings::counters(CounterWidth::bits64, false), "64-bit counters");
  EXPECT_EQ(Strings::counters(CounterWidth::bits32, false), "32-bit counters");
  EXPECT_EQ(Strings::counters(CounterWidth::none, false), "no counters");
  EXPECT_EQ(Strings::counters(CounterWidth::bits64, true), "64-Bit-Z\u00e4hler");
  EXPECT_EQ(Strings::counters(CounterWidth::bits32, true), "32-Bit-Z\u00e4hler");
  EXPECT_EQ(Strings::counters(CounterWidth::none, true), "keine Z\u00e4hler");
}

TEST(StringsTest, ConnectingIsTenLettersASpaceAndTheEllipsis) {
  const std::string english(Strings::status(RouterTrafficStatus::connecting, false));
  EXPECT_EQ(codePoints(english), 12U);
  EXPECT_TRUE(english.ends_with(" \u2026"));
}

TEST(StringsTest, NoTextUsesThreeFullStops) {
  for (bool inGerman : {false, true}) {
    EXPECT_EQ(std::string(Strings::settings(inGerman)).find("..."), std::string::npos);
    EXPECT_EQ(std::string(Strings::openPrivacy(inGerman)).find("..."), std::string::npos);
    EXPECT_EQ(std::string(Strings::status(RouterTrafficStatus::connecting, inGerman)).find("..."),
              std::string::npos);
  }
}

TEST(StringsTest, AValueOutsideTheEnumerationStillHasAText) {
  const auto unknown = static_cast<RouterTrafficStatus>(99);
  EXPECT_FALSE(Strings::status(unknown, false).empty());
  EXPECT_FALSE(Strings::status(unknown, true).empty());
}

// The only test in this program that touches the process-wide language: it decides the
// environment before the first use and then changes it.
TEST(StringsTest, DecidesOnceFromTheEnvironmentAndKeepsTheChoice) {
  ::unsetenv("LANGUAGE");
  ::unsetenv("LC_MESSAGES");
  ::setenv("LC_ALL", "de_DE.UTF-8", 1);

  // Several threads reaching the first use together still see one decision.
  std::vector<std::thread> threads;
  std::vector<std::string> seen(4);
  for (std::size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] { seen[i] = Strings::about(); });
  }
  for (auto& thread : threads)
    thread.join();
  for (const auto& text : seen)
    EXPECT_EQ(text, "\u00dcber Pulsewell");

  EXPECT_TRUE(Strings::german());
  EXPECT_EQ(Strings::settings(), "Einstellungen \u2026");
  EXPECT_EQ(Strings::status(RouterTrafficStatus::up), "Verbunden");

  ::setenv("LC_ALL", "en_US.UTF-8", 1);
  ::setenv("LANGUAGE", "en", 1);
  EXPECT_TRUE(Strings::german());
  EXPECT_EQ(Strings::about(), "\u00dcber Pulsewell");
  EXPECT_EQ(Strings::quit(), "Beenden");
  EXPECT_EQ(Strings::openPrivacy(), "Systemeinstellungen \u00f6ffnen \u2026");
  EXPECT_EQ(Strings::status(RouterTrafficStatus::connecting), "Verbinde \u2026");
  EXPECT_EQ(Strings::text("Download", "Herunterladen"), "Herunterladen");
}

}  // namespace
}  // namespace pulsewell
