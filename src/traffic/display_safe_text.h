#pragma once

#include <string>
#include <string_view>

namespace pulsewell {

// Text from outside the program, such as a device's interface names, as it may be shown
// anywhere, in a terminal or in a widget: every character that would steer the display
// rather than show becomes U+FFFD. Those are the C0 and C1 controls and DEL (terminal
// commands, line breaks), the line and paragraph separators, and the bidirectional
// controls (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069), which reorder
// the text ("eth\u202Eltr" reads "ethrtl"). Ill-formed UTF-8 becomes U+FFFD as well, so
// that the result is always well-formed.
std::string displaySafe(std::string_view text);

}  // namespace pulsewell
