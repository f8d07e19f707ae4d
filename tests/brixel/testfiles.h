// Shared helpers of the program's tests: file bytes in and out, and the
// written form of a map built from its entities.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

inline std::string ReadAll(const std::filesystem::path &P)
{
    std::ifstream F(P, std::ios::binary);
    std::ostringstream S;
    S << F.rdbuf();
    return S.str();
}

inline void WriteAll(const std::filesystem::path &P, const std::string &Bytes)
{
    std::ofstream F(P, std::ios::binary);
    F.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
}

using TProps = std::vector<std::pair<std::string, std::string>>;

/// An entity as the tests describe it: properties, and brush blocks as written.
struct TEnt
{
    TProps Props;
    std::vector<std::string> Brushes;
};

/// The written form of a map: CR LF lines, numbered entities and brushes.
inline std::string Map(const std::vector<TEnt> &Ents)
{
    std::string S = "\r\n";
    for (std::size_t E = 0; E < Ents.size(); ++E) {
        S += "// entity " + std::to_string(E) + "\r\n{\r\n";
        for (const auto &[K, V] : Ents[E].Props) {
            S.append("\"").append(K).append("\" \"").append(V).append("\"\r\n");
        }
        for (std::size_t B = 0; B < Ents[E].Brushes.size(); ++B) {
            S += "// brush " + std::to_string(B) + "\r\n" + Ents[E].Brushes[B];
        }
        S += "}\r\n";
    }
    return S;
}
