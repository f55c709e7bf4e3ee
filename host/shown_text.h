// Text from outside (an argument, a window title) quoted in a one-line message.
#pragma once

#include <string>

// The text with its control characters shown as '?', so that a line feed in it cannot
// break the message's one line.
std::string Shown(const std::string& text);
