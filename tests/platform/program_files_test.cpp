#include "platform/program_files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform_test_support.h"

namespace pulsewell {
namespace {

namespace fs = std::filesystem;
using test::writeText;

// An installation in a temporary prefix: the command, and the desktop program in the
// command's private folder.
class ProgramFilesTest : public ::testing::Test {
 protected:
  fs::path command() const { return temporary_.path() / "usr" / "bin" / "pulsewell"; }
  fs::path desktop() const { return ProgramFiles::privateFolderOf(command()) / "pulsewell"; }

  test::TemporaryFolder temporary_;
};

TEST_F(ProgramFilesTest, TheDesktopProgramIsStartedByTheCommandBesideIt) {
  writeText(command(), "#!/bin/sh\n");
  writeText(desktop(), "#!/bin/sh\n");
  EXPECT_EQ(ProgramFiles::commandOf(desktop()), command());
}

TEST_F(ProgramFilesTest, BothProgramsFindThePrivateFolder) {
  writeText(command(), "#!/bin/sh\n");
  writeText(desktop(), "#!/bin/sh\n");
  EXPECT_EQ(ProgramFiles::privateFolderFor(command()), desktop().parent_path());
  EXPECT_EQ(ProgramFiles::privateFolderFor(desktop()), desktop().parent_path());
}

TEST_F(ProgramFilesTest, WithoutItsCommandTheDesktopProgramStartsItself) {
  writeText(desktop(), "#!/bin/sh\n");
  EXPECT_EQ(ProgramFiles::commandOf(desktop()), desktop());
  // A folder of that name is no command.
  fs::create_directories(command());
  EXPECT_EQ(ProgramFiles::commandOf(desktop()), desktop());
}

TEST_F(ProgramFilesTest, AProgramOutsideThePrivateFolderIsNotTakenForTheDesktopProgram) {
  writeText(command(), "#!/bin/sh\n");
  const fs::path elsewhere = temporary_.path() / "opt" / "pulsewell";
  writeText(elsewhere, "#!/bin/sh\n");
  EXPECT_EQ(ProgramFiles::commandOf(elsewhere), elsewhere);
}

}  // namespace
}  // namespace pulsewell
