// EngineError.h - the exception through which the illumination engine reports a hard failure.
//
// The engine has exactly three hard failures, each with a fixed English text that the plug-in
// shows and logs as it stands: an image too large for the level table, and a zero pivot in the
// tridiagonal line solver (first or later pivot). A stop request is never an error.
#pragma once

#include <exception>

namespace gw {

class EngineError : public std::exception
{
public:
    enum class Kind
    {
        FirstPivotZero, ///< the line solver met a zero first pivot
        LaterPivotZero, ///< the line solver met a zero pivot after the first
        TooManyLevels,  ///< the image needs more multigrid levels than the solver allows
    };

    explicit EngineError(Kind kind) noexcept : m_kind(kind) {}

    Kind GetKind() const noexcept { return m_kind; }

    /// The fixed text of the failure; valid for the life of the program.
    const char* what() const noexcept override
    {
        switch (m_kind) {
        case Kind::FirstPivotZero:
            return "Error 1 in tridag";
        case Kind::LaterPivotZero:
            return "Error 2 in tridag";
        case Kind::TooManyLevels:
            break;
        }
        return "The image size is too big!  Increase NGMAX in GWmgrid.";
    }

private:
    Kind m_kind;
};

} // namespace gw
