// Texts that name the platform call that failed and its error code, for the label,
// the log and test output.
#pragma once

#include <windows.h>

#include <stddef.h>

// "CALL failed (error N)" with GetLastError()'s code, read at once.
void DescribeLastError(const char* call, char* text, size_t size);
// "CALL failed (hr 0xXXXXXXXX)" for calls that return an HRESULT.
void DescribeHresult(const char* call, HRESULT result, char* text, size_t size);
