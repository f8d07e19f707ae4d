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

// TrenchBroom's groups and layers: func_group entities told apart by
// "_tb_type", each with its own "_tb_id" and "_tb_name"; a member names its
// group in "_tb_group" or its layer in "_tb_layer".
inline constexpr std::string_view KeyTbType = "_tb_type";
inline constexpr std::string_view KeyTbId = "_tb_id";
inline constexpr std::string_view KeyTbName = "_tb_name";
inline constexpr std::string_view KeyTbGroup = "_tb_group";
inline constexpr std::string_view KeyTbLayer = "_tb_layer";
inline constexpr std::string_view TbTypeGroup = "_tb_group";
inline constexpr std::string_view TbTypeLayer = "_tb_layer";
/// The name TrenchBroom shows for the layer of everything outside a layer.
inline constexpr std::string_view TbDefaultLayerName = "Default Layer";

/// The worldspawn's texture files, separated by ";".
inline constexpr std::string_view KeyWad = "wad";
/// The worldspawn's face format: "220" for the Valve form.
inline constexpr std::string_view KeyMapVersion = "mapversion";

/// The keys whose values name other entities by their "targetname".
inline constexpr std::string_view KeyTargetName = "targetname";
inline constexpr std::string_view TargetKeys[] = {
    "targetname", "target", "killtarget", "target2", "target3", "target4", "deathtarget", "pathtarget", "combattarget"};
/// Half-Life's relay, which names its targets by its keys (the values are
/// delays).
inline constexpr std::string_view ClassMultiManager = "multi_manager";

/// Classes whose brushes map compilers fold into the world: editor groups
/// (and layers) and every class beginning with the detail prefix.
inline constexpr std::string_view ClassFuncGroup = "func_group";
inline constexpr std::string_view ClassDetailPrefix = "func_detail";

} // namespace brix
