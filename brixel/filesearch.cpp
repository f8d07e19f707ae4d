// Directory search for additional-file patterns.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "brixel/brixel.h"

namespace brix
{
namespace
{

#ifdef _WIN32
constexpr std::string_view PathSeparators = "\\/:";
constexpr bool FoldCase = true;
#else
constexpr std::string_view PathSeparators = "/";
constexpr bool FoldCase = false;
#endif

char FoldChar(char C)
{
    if (FoldCase && C >= 'a' && C <= 'z') {
        return static_cast<char>(C - 'a' + 'A');
    }
    return C;
}

bool IsContinuation(unsigned char C)
{
    return (C & 0xC0) == 0x80;
}

// Length of the character at Pos: a well-formed UTF-8 sequence counts as one
// character, so "?" takes a Cyrillic letter whole; any other byte is one.
std::size_t CharLength(std::string_view S, std::size_t Pos)
{
    const auto Lead = static_cast<unsigned char>(S[Pos]);
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
        if (P < Pattern.size() && Pattern[P] == '?') {
            N += CharLength(Name, N);
            ++P;
            continue;
        }
        if (P < Pattern.size() && FoldChar(Pattern[P]) == FoldChar(Name[N])) {
            ++P;
            ++N;
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
    namespace fs = std::filesystem;
    std::vector<std::string> Result;
    const std::size_t Sep = Pattern.find_last_of(PathSeparators);
    const std::string DirPart = Sep == std::string::npos ? std::string() : Pattern.substr(0, Sep + 1);
    const std::string NamePart = Sep == std::string::npos ? Pattern : Pattern.substr(Sep + 1);

    if (NamePart.find_first_of("*?") == std::string::npos) {
        if (!NamePart.empty() && FileExists(Pattern)) {
            Result.push_back(Pattern);
        }
        return Result;
    }

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
    std::sort(Result.begin(), Result.end());
    return Result;
}

} // namespace brix
