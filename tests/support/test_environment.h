#pragma once

namespace pulsewell::test {

// Every test process starts from the same English, UTF-8 environment, whatever the
// developer's own language is; tests that need German or another locale set it
// themselves. Call first thing in main, before any thread exists.
void useTestEnvironment();

}  // namespace pulsewell::test
