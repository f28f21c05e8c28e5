#pragma once
// Process-wide set-up before any test runs: the headless window backend, the start-up
// date and time formats.
void PrepareTestEnvironment();
