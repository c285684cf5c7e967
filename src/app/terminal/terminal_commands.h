#pragma once

#include "app/terminal/terminal_options.h"

namespace pulsewell {

// Exit statuses of the terminal mode.
inline constexpr int exitSuccess = 0;
inline constexpr int exitFailure = 1;  // the device could not be asked
inline constexpr int exitUsage = 2;    // bad options or an unusable configuration

// `pulsewell watch`: runs until Ctrl+C or --count samples.
int runWatch(const TerminalOptions& options);

// `pulsewell interfaces`: one line per interface, ● up / ○ down.
int runInterfaces(const TerminalOptions& options);

}  // namespace pulsewell
