// Console output: lines to standard output, Russian text in the console's
// encoding, and the help in both languages.
#include <ostream>

#include "brixel/brixel.h"
#include "platform.h"

namespace brix
{
namespace
{

// Descriptions start at the 13th column for commands and the 34th for options.
constexpr std::string_view EnglishHelp[] = {
    "brixel.exe [command] [-option1] [-option2 ...] srcfile [addfile1] [addfile2 ...] [-dest:destfile]",
    "",
    "Commands:",
    "  mkid      to create entity indexes",
    "  rmid      to remove entity indexes",
    "  rmdpid    to remove repeating indexes",
    "  extract   to take from the basic file all that is absent in additional files",
    "  concat    to merge together files srcfile, addfile1, ect. (default command)",
    "  help      to output this help",
    "",
    "Options:",
    "  -ru                            to switche messages to Russian",
    "  -y                             assume Yes on all queries",
    "  -dt/dst/ddt/dat:texture_name   to remove all brushes with a texture \"texture_name\"",
    "                                 for an all/source/dest/additional files",
    "  -rt:texture_name=new_name      to rename textures \"texture_name\" to \"new_name\"",
    "                                 in a dest file (before -dt/ddt)",
    "  -de/dse/dae:(entity_class|ID)  to remove all of entities with a name of a class",
    "                                 \"entity_class\" or ID for an all/initial/additional files",
    "  -dl/kl:layer_name              to remove/keep only TrenchBroom layers \"layer_name\"",
    "                                 for source/additional files; default is \"Default Layer\"",
    "  -nuid:ID                       define nonunical ID",
    "  -rptx                          to replace textures",
    "  -rntn                          to rename target names that additional files repeat",
    "  -valve                         to write faces of a dest file in the Valve 220 form",
    "  -dest:<filename>               sets a name of a file of destination",
    "  -wprops:<filename>             sets a name of a source file for worldspawn properties",
    "  -sc:<filename>                 to include a file with options",
    "  -ba/ea:                        to set area of cutting off for brushes/entities",
    "    (r|c)/(entity_name|ID|cx/cy[/cz])/rad",
    "                                 rectangular/round from the center",
    "    b/x1/y1[/z1]/x2/y2[/z2]      on extreme points",
    "    m/map_file                   on brushed of a worldspawn",
};

// Stored as UTF-8; converted to the console's code page when written.
constexpr std::string_view RussianHelp[] = {
    "brixel.exe [command] [-option1] [-option2 ...] srcfile [addfile1] [addfile2 ...] [-dest:destfile]",
    "",
    "Команды:",
    "  mkid      создать индексы для сущностей",
    "  rmid      удалить индексы для сущностей",
    "  rmdpid    удалить повторяющиеся индексы",
    "  extract   извлечь из основного файла все то, что отсутствует в добавочных файлах",
    "  concat    объединить srcfile, addfile1 и т.д. (команда по умолчанию)",
    "  help      вывести данную помощь",
    "",
    "Опции:",
    "  -ru                            переключить сообщения на русский язык",
    "  -y                             отвечать Да на все запросы",
    "  -dt/dst/ddt/dat:texture_name   удалить все браши с текстурой \"texture_name\"",
    "                                 для всех/исходного/выходного/дополнительных файлов",
    "  -rt:texture_name=new_name      переименовать текстуры \"texture_name\" в \"new_name\"",
    "                                 в выходном файле (до -dt/ddt)",
    "  -de/dse/dae:(entity_class|ID)  удалить все сущности с именем класса \"entity_class\" либо",
    "                                 идентификатором для всех/исходного/дополнительных файлов",
    "  -dl/kl:layer_name              удалить/оставить только слои TrenchBroom \"layer_name\"",
    "                                 в исходном/дополнительных; основной слой: \"Default Layer\"",
    "  -nuid:ID                       задание неуникального идентификатора",
    "  -rptx                          заменять текстуры",
    "  -rntn                          переименовать повторяющиеся имена целей дополнительных файлов",
    "  -valve                         записать грани выходного файла в формате Valve 220",
    "  -dest:<filename>               задает имя файла назначения",
    "  -wprops:<filename>             задает файл, откуда будут браться свойства для worldspawn",
    "  -sc:<filename>                 подключить файл с опциями",
    "  -ba/ea:                        задать область отсечения для брашей/сущностей",
    "    (r|c)/(entity_name|ID|cx/cy[/cz])/rad",
    "                                 прямоугольная/круглая из центра",
    "    b/x1/y1[/z1]/x2/y2[/z2]      по крайним точкам",
    "    m/map_file                   по брашам из worldspawn",
};

} // namespace

void WriteLine(std::ostream &Out, std::string_view Text)
{
    Out.write(Text.data(), static_cast<std::streamsize>(Text.size()));
    Out.write(ConsoleLineBreak.data(), static_cast<std::streamsize>(ConsoleLineBreak.size()));
    // A console that no longer takes text must not let the run report success.
    if (!Out) {
        RaiseError("I/O error: standard output cannot be written");
    }
}

void WriteRussianLine(std::ostream &Out, std::string_view Text)
{
    if (Text.empty()) {
        WriteLine(Out, "");
        return;
    }
    WriteLine(Out, platform::ToConsoleEncoding(Text));
}

void PrintEnglishHelp(std::ostream &Out)
{
    for (std::string_view Line : EnglishHelp) {
        WriteLine(Out, Line);
    }
}

void PrintRussianHelp(std::ostream &Out)
{
    for (std::string_view Line : RussianHelp) {
        WriteRussianLine(Out, Line);
    }
}

void PrintHelp(std::ostream &Out)
{
    if (UseRussian) {
        PrintRussianHelp(Out);
    } else {
        PrintEnglishHelp(Out);
    }
    WriteLine(Out, "");
    WriteLine(Out, FmtMsg(TMsgId::msgSite, {BrixelSite}));
}

} // namespace brix
