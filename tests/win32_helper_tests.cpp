// The Win32 helpers that the tool, the host and the demo share: the one sentence for a
// failed call, checked against the system's own text for the code.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "describe_error.h"

namespace {

// The system's text for the code, as FormatMessageA gives it, without its line break.
std::string SystemText(DWORD code)
{
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code, 0,
                   text, sizeof text, NULL);
    std::string result = text;
    result.erase(result.find_last_not_of("\r\n ") + 1);
    return result;
}

TEST(DescribeError, NamesTheCallTheCodeAndTheSystemsText)
{
    char text[ERROR_TEXT_SIZE];
    ASSERT_FALSE(SystemText(ERROR_FILE_NOT_FOUND).empty());
    SetLastError(ERROR_FILE_NOT_FOUND);
    DescribeLastError("CreateFileA", text, sizeof text);
    EXPECT_EQ(std::string(text),
              "CreateFileA failed with error 2 (" + SystemText(ERROR_FILE_NOT_FOUND) + ")");

    // A code the system has no text for is given bare.
    DescribeError("AVIStreamWrite", 0x2468ACE, text, sizeof text);
    EXPECT_STREQ(text, "AVIStreamWrite failed with error 38177486");
    DescribeHresult("AVIFileOpenA", static_cast<HRESULT>(0x80044065), text, sizeof text);
    EXPECT_STREQ(text, "AVIFileOpenA failed with error 0x80044065");

    char small[12];
    DescribeError("CreatePipe", ERROR_ACCESS_DENIED, small, sizeof small);
    EXPECT_STREQ(small, "CreatePipe ");
}

} // namespace
