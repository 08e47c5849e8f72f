// Compiles SuiteHeaders.h into the precompiled header the suites share.
