// What differs between POSIX systems and Windows, behind one set of
// functions: platform_posix.cpp and platform_windows.cpp implement them
// (CMake builds one). The program uses them too, for its patterns and its
// console; nothing else in the tree asks which system it runs on.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace brix::platform
{

/// The system's text for the error number (errno) of a failed file call.
std::string ErrorText(int Err);

/// A text decoded to UTF-8 from a marked file, as the program holds texts:
/// unchanged, or in the ANSI code page on Windows.
std::string FromUtf8(std::string Utf8);

/// UTF-8 text (the Russian messages and help) as the console shows it:
/// UTF-8 itself on POSIX consoles, code page 866 on Windows consoles.
std::string ToConsoleEncoding(std::string_view Utf8);

/// The characters that end the directory part of a path.
extern const std::string_view PathSeparators;

/// The program's name as its usage line shows it: the name a user types,
/// "brixel.exe" on Windows, "brixel" elsewhere.
extern const std::string_view ProgramName;

/// Whether "/?" shows the help, as it does for the system's own programs on
/// Windows; elsewhere it is a file name like any other.
extern const bool SlashQuestionShowsHelp;

/// Length of the character at Pos in the system's encoding of file names:
/// on Windows the ANSI code page (one byte, or two after a lead byte of a
/// double-byte code page); elsewhere UTF-8, where a well-formed sequence is
/// one character. Any other byte is one.
std::size_t NameCharLength(std::string_view S, std::size_t Pos);

/// Whether the Len bytes at P in Pattern and N in Name are the same
/// character as the file system compares names: on Windows letters of the
/// ANSI code page without regard to case; elsewhere byte for byte.
bool SameNameChar(std::string_view Pattern, std::size_t P, std::string_view Name, std::size_t N, std::size_t Len);

/// The files that the pattern DirPart + NamePart names (DirPart a directory
/// with its separator, or "" for the current one; wildcards only in
/// NamePart): Windows matches by its own rules and gives each name as the
/// directory holds it; elsewhere Matches(name) decides, and a NamePart
/// without wildcards names the file itself. Each found name comes with
/// DirPart in front, unsorted. Directories never match.
std::vector<std::string> ListMatchingFiles(
    const std::string &DirPart, const std::string &NamePart, const std::function<bool(std::string_view)> &Matches);

/// Sets up standard output for the program's own bytes: no text-mode
/// translation, and a closed console reported as a failed write rather than
/// a signal.
void PrepareConsole();

/// Starts the program again, once, with its heap in huge pages where the
/// system gives them only to programs that ask and the C library asks when
/// told so at start (glibc on Linux): a large map then costs a page fault per
/// 2 MB instead of per 4 KB, which on virtual machines is most of a run's
/// time. Returns when there is nothing to do or the restart failed; the
/// program then runs as it is.
void RestartWithHugePageHeap(char **Argv);

} // namespace brix::platform
