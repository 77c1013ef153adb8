#pragma once
// The texts every page shows when the board is lost, word for word, in one place.

inline constexpr const char* kCaptionError = "Error";

// Shown by every caller whose board operation failed, before it ends the program.
inline constexpr const char* kMsgNoCommunication =
    "Error - Unable to communicate with KOVA kit\nCheck connections and restart the program";
// Shown for a port failure that carries no text of its own.
inline constexpr const char* kMsgCommandFailed = "Command failed.";
// Caption of the box that ends an action whose port failed outright.
inline constexpr const char* kPortFailureCaption = "TR805Q";
