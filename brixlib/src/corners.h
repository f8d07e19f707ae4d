// The corners of a brush: the points where three of its face planes meet and
// that no face plane leaves outside. Two searches find them; both give the
// same bounds to the bit.
#pragma once

#include <span>

#include "brixlib/geometry.h"

namespace brix
{

/// Folds every corner into Min and Max (each corner found by the same three
/// faces and the same arithmetic, in the order of the face triples); false
/// when the brush has no corner (Min and Max are then left as they were).
/// Planes[I] is the plane of face I.
///
/// Tries every triple of faces: cubic in the faces and more.
bool FindCornersExhaustive(std::span<const TPlane> Planes, T3DPoint &Min, T3DPoint &Max);

/// The same result from the corners of each face's polygon: about quadratic
/// in the faces (whose points give the scale of the brush). Falls back on the
/// exhaustive search for planes whose arithmetic could overflow.
bool FindCorners(std::span<const TPlane> Planes, std::span<const TBrushSide> Sides, T3DPoint &Min, T3DPoint &Max);

} // namespace brix
