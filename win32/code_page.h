// Text between the three encodings bridge-host meets: UTF-8 inside (what it is given
// and what it says), UTF-16 for the platform's wide calls, and the system's ANSI code
// page, in which the bridge takes its command line and the tool writes its log.
#pragma once

#include <string>
#include <vector>

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
std::string Utf8FromAnsi(const std::string& text);
std::wstring WideFromAnsi(const std::string& text);

// The text in the ANSI code page when every character has its own there; otherwise
// false, with the characters that have none listed in `missing` ("'Д' (U+0414)", ...).
bool AnsiFromUtf8(const std::string& text, std::string& ansi, std::string& missing);

// The program's arguments, argv[0] included, split as the C runtime splits them but
// read from the wide command line, so that none loses a character the ANSI code page
// lacks.
std::vector<std::string> Utf8Arguments();
