// The one way the host side reads a recording on disk: bridge-host's verdict and the
// benchmarks' checks read a file exactly alike.
#pragma once

#include <string>

#include "avi_summary.h"

// Whether the file at the path is a complete recording, with its figures; when it is
// not, `error` says why, naming the file.
bool ReadAviFile(const std::wstring& path, AviSummary& summary, std::string& error);
