// Directory search for additional-file patterns.
#include <algorithm>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <filesystem>
#endif

#include "brixel/brixel.h"

namespace brix
{
namespace
{

#ifdef _WIN32
// A drive letter's colon ends the directory part too ("C:*.map").
constexpr std::string_view PathSeparators = "\\/:";
#else
constexpr std::string_view PathSeparators = "/";
#endif

// Length of the character at Pos in the system's encoding of names: on
// Windows the ANSI code page (one byte, or two after a lead byte of a
// double-byte code page); elsewhere UTF-8, where a well-formed sequence is one
// character, so "?" takes a Cyrillic letter whole. Any other byte is one.
std::size_t CharLength(std::string_view S, std::size_t Pos)
{
    const auto Lead = static_cast<unsigned char>(S[Pos]);
#ifdef _WIN32
    return (IsDBCSLeadByte(Lead) && Pos + 1 < S.size()) ? 2 : 1;
#else
    const auto IsContinuation = [](unsigned char C) { return (C & 0xC0) == 0x80; };
    std::size_t Len = 1;
    if (Lead >= 0xC2 && Lead <= 0xDF) {
        Len = 2;
    } else if (Lead >= 0xE0 && Lead <= 0xEF) {
        Len = 3;
    } else if (Lead >= 0xF0 && Lead <= 0xF4) {
        Len = 4;
    }
    if (Pos + Len > S.size()) {
        return 1;
    }
    for (std::size_t I = 1; I < Len; ++I) {
        if (!IsContinuation(static_cast<unsigned char>(S[Pos + I]))) {
            return 1;
        }
    }
    return Len;
#endif
}

// Whether the characters at P in Pattern and N in Name are the same: on
// Windows letters of the ANSI code page without regard to case, as the file
// system compares names; elsewhere byte for byte. Len is the name's character.
bool SameChar(std::string_view Pattern, std::size_t P, std::string_view Name, std::size_t N, std::size_t Len)
{
    if (Pattern.compare(P, Len, Name, N, Len) == 0) {
        return true;
    }
#ifdef _WIN32
    if (Len == 1) {
        char A[1] = {Pattern[P]};
        char B[1] = {Name[N]};
        CharUpperBuffA(A, 1);
        CharUpperBuffA(B, 1);
        return A[0] == B[0];
    }
#endif
    return false;
}

} // namespace

bool WildcardMatch(std::string_view Pattern, std::string_view Name)
{
    // Greedy scan that falls back to the last "*" only: each fallback moves the
    // star's start one character on, so the cost stays within
    // pattern length x name length, never exponential.
    std::size_t P = 0;
    std::size_t N = 0;
    std::size_t StarP = std::string_view::npos;
    std::size_t StarN = 0;
    while (N < Name.size()) {
        if (P < Pattern.size() && Pattern[P] == '*') {
            StarP = P++;
            StarN = N;
            continue;
        }
        const std::size_t Len = CharLength(Name, N);
        if (P < Pattern.size() && Pattern[P] == '?') {
            N += Len;
            ++P;
            continue;
        }
        if (P < Pattern.size() && SameChar(Pattern, P, Name, N, Len)) {
            P += Len;
            N += Len;
            continue;
        }
        if (StarP == std::string_view::npos) {
            return false;
        }
        P = StarP + 1;
        StarN += CharLength(Name, StarN);
        N = StarN;
    }
    while (P < Pattern.size() && Pattern[P] == '*') {
        ++P;
    }
    return P == Pattern.size();
}

std::vector<std::string> FindFiles(const std::string &Pattern)
{
    std::vector<std::string> Result;
    const std::size_t Sep = Pattern.find_last_of(PathSeparators);
    const std::string DirPart = Sep == std::string::npos ? std::string() : Pattern.substr(0, Sep + 1);
    const std::string NamePart = Sep == std::string::npos ? Pattern : Pattern.substr(Sep + 1);
    if (NamePart.empty()) {
        return Result;
    }

#ifdef _WIN32
    // The system's own search: its rules for "*" and "?", names compared
    // without regard to case, and every name as the directory holds it.
    WIN32_FIND_DATAA Data;
    const HANDLE Search = FindFirstFileExA(Pattern.c_str(), FindExInfoBasic, &Data, FindExSearchNameMatch, nullptr, 0);
    if (Search == INVALID_HANDLE_VALUE) {
        return Result;
    }
    do {
        if ((Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            Result.push_back(DirPart + Data.cFileName);
        }
    } while (FindNextFileA(Search, &Data));
    FindClose(Search);
#else
    if (NamePart.find_first_of("*?") == std::string::npos) {
        if (FileExists(Pattern)) {
            Result.push_back(Pattern);
        }
        return Result;
    }

    namespace fs = std::filesystem;
    std::error_code Ec;
    fs::directory_iterator It(DirPart.empty() ? fs::path(".") : fs::path(DirPart), Ec);
    if (Ec) {
        return Result;
    }
    for (; It != fs::directory_iterator(); It.increment(Ec)) {
        if (Ec) {
            return {};
        }
        const std::string Name = It->path().filename().string();
        std::error_code TypeEc;
        // is_regular_file follows links, so a link to a file counts as the file.
        if (WildcardMatch(NamePart, Name) && It->is_regular_file(TypeEc) && !TypeEc) {
            Result.push_back(DirPart + Name);
        }
    }
#endif
    std::sort(Result.begin(), Result.end());
    return Result;
}

} // namespace brix
