// WinText.cpp - UTF-8 / UTF-16 conversions and system error texts.
#include "WinText.h"

#include <windows.h>

namespace gw::host {

std::wstring Wide(const std::string& text)
{
    if (text.empty()) {
        return {};
    }
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string Utf8(const std::wstring& text)
{
    if (text.empty()) {
        return {};
    }
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::string SystemMessage(unsigned long nError)
{
    wchar_t* pText = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, nError, 0, reinterpret_cast<wchar_t*>(&pText), 0, nullptr);
    std::wstring text = n ? std::wstring(pText, n) : std::wstring();
    if (pText) {
        LocalFree(pText);
    }
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
        text.pop_back();
    }
    return (text.empty() ? std::string("error") : Utf8(text)) + " (" + std::to_string(nError) + ")";
}

} // namespace gw::host
