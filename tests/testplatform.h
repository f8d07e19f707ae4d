// What the tests expect differently on Windows and elsewhere, in one place, so
// that a table of cases holds both expectations instead of two copies of a test.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "brixlib/files.h"
#include "brixlib/messages.h"
#include "brixlib/numbers.h"
#include "brixlib/text.h"

namespace testplatform
{

#ifdef _WIN32
inline constexpr bool OnWindows = true;
#else
inline constexpr bool OnWindows = false;
#endif

/// The expectation for this platform.
template <typename T> T PerPlatform(T Posix, T Windows)
{
    return OnWindows ? Windows : Posix;
}

/// Expected console text written with "\n": the lines end in the platform's
/// line break instead.
inline std::string ConsoleText(std::string_view Text)
{
    std::string Out;
    for (char C : Text) {
        if (C == '\n') {
            Out.append(brix::ConsoleLineBreak);
        } else {
            Out += C;
        }
    }
    return Out;
}

/// UTF-8 text as the program holds it: UTF-8 itself, or on Windows the
/// bytes of the system's ANSI code page. False when the code page lacks one
/// of its characters.
inline bool NativeText(std::string_view Utf8, std::string &Out)
{
#ifdef _WIN32
    const int Len = static_cast<int>(Utf8.size());
    std::wstring Wide(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), Len, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), Len, Wide.data(), static_cast<int>(Wide.size()));
    const int WideLen = static_cast<int>(Wide.size());
    const int Size =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, Wide.data(), WideLen, nullptr, 0, nullptr, nullptr);
    Out.assign(static_cast<std::size_t>(Size), '\0');
    BOOL UsedDefault = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, Wide.data(), WideLen, Out.data(), static_cast<int>(Out.size()),
        nullptr, &UsedDefault);
    return !UsedDefault;
#else
    Out.assign(Utf8);
    return true;
#endif
}

/// NativeText, with "?" for the characters the code page lacks.
inline std::string Native(std::string_view Utf8)
{
    std::string Out;
    NativeText(Utf8, Out);
    return Out;
}

/// A path from a UTF-8 name, and a path's name as UTF-8: file names on disk
/// are compared as UTF-8 on every platform.
inline std::filesystem::path U8Path(std::string_view Utf8)
{
    return std::filesystem::path(std::u8string(Utf8.begin(), Utf8.end()));
}

inline std::string U8Name(const std::filesystem::path &P)
{
    const std::u8string S = P.generic_u8string();
    return std::string(S.begin(), S.end());
}

/// A number that tells this process's temporary files from another's.
inline unsigned long ProcessId()
{
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(::getpid());
#endif
}

} // namespace testplatform
