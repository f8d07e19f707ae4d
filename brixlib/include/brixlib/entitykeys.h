// The property keys and class names that the library gives a meaning to.
#pragma once

#include <string_view>

namespace brix
{

inline constexpr std::string_view KeyClassName = "classname";
inline constexpr std::string_view KeySpawnFlags = "spawnflags";
inline constexpr std::string_view KeyOrigin = "origin";
inline constexpr std::string_view KeyId = "id";

/// The class name of the level's global entity, which is also its ID.
inline constexpr std::string_view ClassWorldSpawn = "worldspawn";

} // namespace brix
