#pragma once

// Calls `last` when the process ends through exit(), as Qt ends it when its
// display goes, and through quick_exit() where the C library has it.
void callAtProcessExit(void (*last)());
