// WinText.h - text conversions between UTF-8 (our strings) and UTF-16 (Windows).
#pragma once

#include <string>

namespace gw::host {

std::wstring Wide(const std::string& text);
std::string Utf8(const std::wstring& text);
/// The system's text for a Win32 error code, with the code.
std::string SystemMessage(unsigned long nError);

} // namespace gw::host
