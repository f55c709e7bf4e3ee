#include "code_page.h"

#include <windows.h>
#include <shellapi.h>

#include <stdio.h>

static std::wstring Widen(UINT codePage, const std::string& text)
{
    if (text.empty()) {
        return std::wstring();
    }
    int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()),
                                     NULL, 0);
    std::wstring wide(length > 0 ? length : 0, L'\0');
    if (length > 0) {
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                            length);
    }
    return wide;
}

static std::string Narrow(UINT codePage, const std::wstring& text, DWORD flags, BOOL* lossy)
{
    if (text.empty()) {
        return std::string();
    }
    int length = WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()),
                                     NULL, 0, NULL, lossy);
    std::string narrow(length > 0 ? length : 0, '\0');
    if (length > 0) {
        WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()),
                            &narrow[0], length, NULL, lossy);
    }
    return narrow;
}

std::wstring WideFromUtf8(const std::string& text)
{
    return Widen(CP_UTF8, text);
}

std::string Utf8FromWide(const std::wstring& text)
{
    return Narrow(CP_UTF8, text, 0, NULL);
}

std::string Utf8FromAnsi(const std::string& text)
{
    return Utf8FromWide(Widen(CP_ACP, text));
}

std::wstring WideFromAnsi(const std::string& text)
{
    return Widen(CP_ACP, text);
}

bool AnsiFromUtf8(const std::string& text, std::string& ansi, std::string& missing)
{
    std::wstring wide = WideFromUtf8(text);
    missing.clear();
    // Character by character (a pair of surrogates as one), so that each one the code
    // page lacks can be named.
    for (size_t at = 0; at < wide.size();) {
        size_t count = IS_HIGH_SURROGATE(wide[at]) && at + 1 < wide.size() ? 2 : 1;
        std::wstring one = wide.substr(at, count);
        BOOL lossy = FALSE;
        Narrow(CP_ACP, one, WC_NO_BEST_FIT_CHARS, &lossy);
        if (lossy) {
            unsigned long code =
                count == 2 ? 0x10000 + ((one[0] - 0xD800) << 10) + (one[1] - 0xDC00) : one[0];
            char number[16];
            snprintf(number, sizeof number, " (U+%04lX)", code);
            missing += (missing.empty() ? "'" : ", '") + Utf8FromWide(one) + "'" + number;
        }
        at += count;
    }
    BOOL lossy = FALSE;
    ansi = Narrow(CP_ACP, wide, WC_NO_BEST_FIT_CHARS, &lossy);
    return missing.empty() && !lossy;
}

std::vector<std::string> Utf8Arguments()
{
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; wide != NULL && i < count; ++i) {
        arguments.push_back(Utf8FromWide(wide[i]));
    }
    LocalFree(wide);
    return arguments;
}
