#pragma once

#include "app/exit_status.h"
#include "app/terminal/terminal_options.h"

namespace pulsewell {

// `pulsewell watch`: runs until Ctrl+C or --count samples; exits with the status of the
// last sample, like ping (no answer when there was none).
int runWatch(const TerminalOptions& options);

// `pulsewell interfaces`: one line per interface, ● up / ○ down; exits with the status of
// the exchange.
int runInterfaces(const TerminalOptions& options);

}  // namespace pulsewell
