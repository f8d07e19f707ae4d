// The lines the map writer puts around entities and brushes, shared by the
// writer of whole maps and the one that writes a map as it is read, so both
// write the same bytes. Private to the library.
#pragma once

#include <cstddef>

#include "brixlib/mapfile.h"

namespace brix
{

/// "// entity N".
void WriteEntityNumber(TLineWriter &List, std::size_t N);
/// "{" and the property lines of E.
void WriteEntityHead(TLineWriter &List, const TEntity &E);
/// "// brush N" and the brush's block.
void WriteNumberedBrush(TLineWriter &List, const TBrush &Brush, std::size_t N);

} // namespace brix
