// One sentence for a failed platform call, the same wording wherever it is shown: the
// tool's label and log, the host's errors and the demo's message box.
#pragma once

#include <windows.h>

#include <stddef.h>

#include <string>

#define ERROR_TEXT_SIZE 400

// "CreateProcessA failed with error 2 (The system cannot find the file specified.)":
// the call, the code and the system's own text for it, left out when it has none.
void DescribeError(const char* call, DWORD code, char* text, size_t size);

// The same as a string, for the messages the host builds around it.
std::string DescribeFailure(const char* call, DWORD code);

// The same with GetLastError()'s code, read before anything else can change it.
void DescribeLastError(const char* call, char* text, size_t size);

// The same for calls that return an HRESULT, its code in hexadecimal.
void DescribeHresult(const char* call, HRESULT result, char* text, size_t size);
