// A tool on the map library: merges a second map into a first, writes the
// result, then writes what of the result the second map does not hold.
#include <cstddef>
#include <iostream>
#include <memory>
#include <string>

#include "brixlib/commands.h"
#include "brixlib/mapfile.h"

namespace
{

// Counted as the writer counts them: removed entities and brushes are only
// marked, and stay in the map.
void PrintWritten(const std::string &FileName, const brix::TMapFile &Map)
{
    std::size_t Entities = 0;
    std::size_t Brushes = 0;
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        if (!Map[I].IsStored()) {
            continue;
        }
        ++Entities;
        for (const brix::TBrush &B : Map[I].Brushes) {
            Brushes += B.IsStored() ? 1 : 0;
        }
    }
    std::cout << FileName << ": " << Entities << " entities, " << Brushes << " brushes written\n";
}

void LoadMap(brix::TMapFile &Map, const std::string &FileName)
{
    // The diagnostic of a map that does not read names no file.
    try {
        brix::LoadMapFile(Map, FileName, brix::TLoadFailure::lfDiagnostic);
    } catch (const brix::EMapLoadError &e) {
        throw brix::EMapLoadError(FileName + ": " + e.what());
    }
}

void MergeAndExtract(const std::string &FirstName, const std::string &SecondName, const std::string &MergedName,
    const std::string &RestName)
{
    brix::TMapFile First;
    LoadMap(First, FirstName);
    // Concat takes the entities of the maps it merges, so Extract gets a
    // second reading of its own.
    brix::TMapFileList ToMerge;
    brix::TMapFileList ToCompare;
    LoadMap(ToMerge.Add(std::make_unique<brix::TMapFile>()), SecondName);
    LoadMap(ToCompare.Add(std::make_unique<brix::TMapFile>()), SecondName);

    brix::TMapFile Merged(MergedName);
    brix::Concat(Merged, First, ToMerge);
    Merged.SaveToFile(MergedName);
    PrintWritten(MergedName, Merged);

    brix::TMapFile Rest(RestName);
    brix::Extract(Rest, Merged, ToCompare);
    Rest.SaveToFile(RestName);
    PrintWritten(RestName, Rest);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 5) {
        std::cerr << "usage: brixlib_example first.map second.map merged.map rest.map\n"
                     "  merged.map: second.map merged into first.map\n"
                     "  rest.map:   what of merged.map second.map does not hold\n";
        return 1;
    }
    try {
        MergeAndExtract(argv[1], argv[2], argv[3], argv[4]);
    } catch (const brix::EMapLoadError &e) {
        std::cerr << "brixlib_example: " << e.what() << "\n";
        return 1;
    } catch (const brix::EBrixError &e) {
        std::cerr << "brixlib_example: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
