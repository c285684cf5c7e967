#include "menubar/panel_label.h"

#include <gtest/gtest.h>

namespace pulsewell {
namespace {

TEST(PanelLabelTest, PutsUploadFirstWithArrows) {
  EXPECT_EQ(panelLabel("80 KB/s", "1.2 MB/s"), "\u2191 80 KB/s \u2193 1.2 MB/s");
  EXPECT_EQ(panelLabel("\u2014", "\u2014"), "\u2191 \u2014 \u2193 \u2014");
}

TEST(PanelLabelTest, TheGuideUsesTheReferenceOfTheUnitInUse) {
  EXPECT_EQ(panelLabelGuide(false), "\u2191 888 MB/s \u2193 888 MB/s");
  EXPECT_EQ(panelLabelGuide(true), "\u2191 888 Mbps \u2193 888 Mbps");
}

}  // namespace
}  // namespace pulsewell
