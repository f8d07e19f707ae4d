// Small maps that the file-touching targets put into their private directory.
#pragma once

#include <string_view>

namespace brix::fuzz
{

// Two rooms' worth: world brushes, a point entity, a brush entity with an id.
inline constexpr std::string_view FixtureA = "{\n"
                                             "\"classname\" \"worldspawn\"\n"
                                             "\"wad\" \"a.wad\"\n"
                                             "{\n"
                                             "( 0 0 0 ) ( 0 64 0 ) ( 0 0 16 ) FLOOR 0 0 0 1 1\n"
                                             "( 64 0 0 ) ( 64 0 16 ) ( 64 64 0 ) FLOOR 0 0 0 1 1\n"
                                             "( 0 0 0 ) ( 0 0 16 ) ( 64 0 0 ) FLOOR 0 0 0 1 1\n"
                                             "( 0 64 0 ) ( 64 64 0 ) ( 0 64 16 ) FLOOR 0 0 0 1 1\n"
                                             "( 0 0 0 ) ( 64 0 0 ) ( 0 64 0 ) FLOOR 0 0 0 1 1\n"
                                             "( 0 0 16 ) ( 0 64 16 ) ( 64 0 16 ) FLOOR 0 0 0 1 1\n"
                                             "}\n"
                                             "}\n"
                                             "{\n"
                                             "\"classname\" \"light\"\n"
                                             "\"origin\" \"32 32 64\"\n"
                                             "}\n"
                                             "{\n"
                                             "\"classname\" \"func_door\"\n"
                                             "\"id\" \"door1\"\n"
                                             "{\n"
                                             "( 16 16 16 ) ( 16 48 16 ) ( 16 16 64 ) DOOR 0 0 0 1 1\n"
                                             "( 48 16 16 ) ( 48 16 64 ) ( 48 48 16 ) DOOR 0 0 0 1 1\n"
                                             "( 16 16 16 ) ( 16 16 64 ) ( 48 16 16 ) DOOR 0 0 0 1 1\n"
                                             "( 16 48 16 ) ( 48 48 16 ) ( 16 48 64 ) DOOR 0 0 0 1 1\n"
                                             "( 16 16 16 ) ( 48 16 16 ) ( 16 48 16 ) DOOR 0 0 0 1 1\n"
                                             "( 16 16 64 ) ( 16 48 64 ) ( 48 16 64 ) DOOR 0 0 0 1 1\n"
                                             "}\n"
                                             "}\n";

// Shares the door's id and adds a brush beside A's.
inline constexpr std::string_view FixtureB = "{\n"
                                             "\"classname\" \"worldspawn\"\n"
                                             "{\n"
                                             "( 256 0 0 ) ( 256 64 0 ) ( 256 0 16 ) SKY1 0 0 0 1 1\n"
                                             "( 320 0 0 ) ( 320 0 16 ) ( 320 64 0 ) SKY1 0 0 0 1 1\n"
                                             "( 256 0 0 ) ( 256 0 16 ) ( 320 0 0 ) SKY1 0 0 0 1 1\n"
                                             "( 256 64 0 ) ( 320 64 0 ) ( 256 64 16 ) SKY1 0 0 0 1 1\n"
                                             "( 256 0 0 ) ( 320 0 0 ) ( 256 64 0 ) SKY1 0 0 0 1 1\n"
                                             "( 256 0 16 ) ( 256 64 16 ) ( 320 0 16 ) SKY1 0 0 0 1 1\n"
                                             "}\n"
                                             "}\n"
                                             "{\n"
                                             "\"classname\" \"info_player_start\"\n"
                                             "\"origin\" \"256 32 24\"\n"
                                             "\"id\" \"#temp\"\n"
                                             "}\n"
                                             "{\n"
                                             "\"classname\" \"func_door\"\n"
                                             "\"id\" \"DOOR1\"\n"
                                             "}\n";

// A point entity without an origin, and a map that ends inside a block.
inline constexpr std::string_view FixtureC = "{\n\"classname\" \"info_null\"\n}\n{\n\"classname\" \"light\"\n";

// An option file.
inline constexpr std::string_view FixtureOptions = "// options\n-y\n-dest:out.map\n";

} // namespace brix::fuzz
