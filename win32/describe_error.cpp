#include "describe_error.h"

#include <stdio.h>

#define SYSTEM_TEXT_SIZE 256

static void Describe(const char* call, const char* code, DWORD messageId, char* text,
                     size_t size)
{
    char systemText[SYSTEM_TEXT_SIZE] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  NULL, messageId, 0, systemText, sizeof systemText, NULL);
    // The system's texts end in a line break, which would split the sentence.
    while (length > 0 && (systemText[length - 1] == '\n' || systemText[length - 1] == '\r' ||
                          systemText[length - 1] == ' ')) {
        systemText[--length] = '\0';
    }
    if (length > 0) {
        snprintf(text, size, "%s failed with error %s (%s)", call, code, systemText);
    } else {
        snprintf(text, size, "%s failed with error %s", call, code);
    }
}

void DescribeError(const char* call, DWORD code, char* text, size_t size)
{
    char number[16];
    snprintf(number, sizeof number, "%lu", code);
    Describe(call, number, code, text, size);
}

std::string DescribeFailure(const char* call, DWORD code)
{
    char text[ERROR_TEXT_SIZE];
    DescribeError(call, code, text, sizeof text);
    return text;
}

void DescribeLastError(const char* call, char* text, size_t size)
{
    DescribeError(call, GetLastError(), text, size);
}

void DescribeHresult(const char* call, HRESULT result, char* text, size_t size)
{
    char number[16];
    snprintf(number, sizeof number, "0x%08lx", static_cast<unsigned long>(result));
    Describe(call, number, static_cast<DWORD>(result), text, size);
}
