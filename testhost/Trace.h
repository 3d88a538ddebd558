// Trace.h - the machine-readable record of one gwhost run.
//
// One record per line, words separated by single spaces, texts in double
// quotes with \\, \" and \n escaped, four-character codes in single quotes.
// Records written by gwhost:
//   selector S result R                 after each call of the entry point
//   progress DONE TOTAL                 progressProc
//   request in|out T L B R planes LO HI rowbytes N   a new pixel request delivered
//   request mask T L B R rowbytes N
//   displayPixels T L B R mode M rowbytes N colbytes N planebytes N at ROW COL
//   suite acquire|release "name" V result R
//   cursor "name" result R
//   msgbox "caption" "text"             a message box the plug-in showed (then dismissed)
//   dialog "caption" action A           any other dialog the plug-in showed
//   descriptor in|out 'KEY' TYPE VALUE  descriptor played to / recorded by the plug-in
//   recordInfo N                        after finish
//   handles live N                      handles not disposed at the end
//   module load "path" / module loaded / module unload / module unloaded
//                                       LoadLibrary and FreeLibrary (attach and detach code)
//   hosterror "text"                    gwhost refused or stopped the run
// The trace may be written from several threads.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace gw::host {

/// Quotes a text for a trace record.
std::string Quote(std::string_view text);

/// A four-character code as 'ABCD' (non-printable bytes as \xNN).
std::string FourCC(std::uint32_t code);

class CTrace
{
public:
    CTrace() = default;
    CTrace(const CTrace&) = delete;
    CTrace& operator=(const CTrace&) = delete;

    /// Opens the trace file; throws std::runtime_error when it cannot be created.
    void Open(const std::string& path);

    /// Writes one record (without the line end). Does nothing without a file.
    void Write(std::string_view record);

    bool IsOpen() const noexcept { return m_pFile != nullptr; }

private:
    struct FileCloser
    {
        void operator()(std::FILE* p) const noexcept { std::fclose(p); }
    };
    std::mutex m_mutex;
    std::unique_ptr<std::FILE, FileCloser> m_pFile;
};

} // namespace gw::host
