// Reads a small map through the installed library and writes it back; the
// exit status says whether the written text is the expected one.
#include <iostream>
#include <string>

#include "brixlib/mapfile.h"

int main()
{
    const std::string Text = "{\n\"classname\" \"worldspawn\"\n{\n"
                             "( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) FLOOR 0 0 0 1 1\n}\n}\n";
    brix::TMapFile Map;
    std::string Error;
    Map.LoadFromText(Text, Error);
    brix::TLineWriter Writer;
    Map.SaveToList(Writer);
    const std::string Expected = "\r\n// entity 0\r\n{\r\n\"classname\" \"worldspawn\"\r\n// brush 0\r\n{\r\n"
                                 "( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) FLOOR 0 0 0 1 1\r\n}\r\n}\r\n";
    if (!Error.empty() || Writer.Text() != Expected) {
        std::cout << "unexpected result: " << Error << "\n" << Writer.Text();
        return 1;
    }
    std::cout << "brixlib consumer: map read and written\n";
    return 0;
}
