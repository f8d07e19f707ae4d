// The bytes a map would be written as, for tests that compare writes.
#pragma once

#include <string>

#include "brixlib/mapfile.h"

inline std::string Written(const brix::TMapFile &Map)
{
    brix::TLineWriter W;
    Map.SaveToList(W);
    return W.Text();
}
