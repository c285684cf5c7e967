#pragma once

#include <string>
#include <string_view>

namespace pulsewell {

// The text beside the panel icon on hosts that show a label: "↑ 80 KB/s ↓ 1.2 MB/s",
// upload first as everywhere.
std::string panelLabel(std::string_view up, std::string_view down);

// The label with the reference text in both places, for hosts that keep the label's width
// steady with a guide text.
std::string panelLabelGuide(bool inBits);

}  // namespace pulsewell
