// Trace.cpp - the machine-readable record of one gwhost run.
#include "Trace.h"

#include <stdexcept>

namespace gw::host {

std::string Quote(std::string_view text)
{
    std::string out = "\"";
    for (char ch : text) {
        switch (ch) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += ch;
        }
    }
    out += '"';
    return out;
}

std::string FourCC(std::uint32_t code)
{
    std::string out = "'";
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto ch = static_cast<unsigned char>(code >> shift);
        if (ch >= 0x20 && ch < 0x7F && ch != '\\' && ch != '\'') {
            out += static_cast<char>(ch);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", ch);
            out += buf;
        }
    }
    out += '\'';
    return out;
}

void CTrace::Open(const std::string& path)
{
    std::unique_ptr<std::FILE, FileCloser> pFile(std::fopen(path.c_str(), "w"));
    if (!pFile) {
        throw std::runtime_error("cannot create the trace file \"" + path + "\"");
    }
    std::lock_guard lock(m_mutex);
    m_pFile = std::move(pFile);
}

void CTrace::Write(std::string_view record)
{
    std::lock_guard lock(m_mutex);
    if (!m_pFile) {
        return;
    }
    std::fwrite(record.data(), 1, record.size(), m_pFile.get());
    std::fputc('\n', m_pFile.get());
    std::fflush(m_pFile.get());
}

} // namespace gw::host
