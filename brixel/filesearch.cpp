// Directory search for additional-file patterns.
#include <algorithm>

#include "brixel/brixel.h"
#include "platform.h"

namespace brix
{

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
        const std::size_t Len = platform::NameCharLength(Name, N);
        if (P < Pattern.size() && Pattern[P] == '?') {
            N += Len;
            ++P;
            continue;
        }
        if (P < Pattern.size() && platform::SameNameChar(Pattern, P, Name, N, Len)) {
            P += Len;
            N += Len;
            continue;
        }
        if (StarP == std::string_view::npos) {
            return false;
        }
        P = StarP + 1;
        StarN += platform::NameCharLength(Name, StarN);
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
    const std::size_t Sep = Pattern.find_last_of(platform::PathSeparators);
    const std::string DirPart = Sep == std::string::npos ? std::string() : Pattern.substr(0, Sep + 1);
    const std::string NamePart = Sep == std::string::npos ? Pattern : Pattern.substr(Sep + 1);
    if (NamePart.empty()) {
        return Result;
    }
    Result = platform::ListMatchingFiles(
        DirPart, NamePart, [&NamePart](std::string_view Name) { return WildcardMatch(NamePart, Name); });
    std::sort(Result.begin(), Result.end());
    return Result;
}

} // namespace brix
