#include "platform_error.h"

#include <stdio.h>

void DescribeLastError(const char* call, char* text, size_t size)
{
    unsigned long code = GetLastError();
    snprintf(text, size, "%s failed (error %lu)", call, code);
}

void DescribeHresult(const char* call, HRESULT result, char* text, size_t size)
{
    snprintf(text, size, "%s failed (hr 0x%08lx)", call, static_cast<unsigned long>(result));
}
