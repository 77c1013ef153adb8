#pragma once
// SIGINT and SIGTERM end the window like its own quit request, so that the port is closed and
// the simulated board's port-table link removed on the way out instead of being left behind.
class QtUserPrompts;

// Open dialogs are closed and the program ends with 128 + the signal's number. The handling
// lives as long as `prompts`.
void QuitOnSignals(QtUserPrompts& prompts);
