// Messages and errors: the process-wide switches, the bilingual message
// table, message formatting and the general error.
#include "brixlib/messages.h"

#include "platform.h"

namespace brix
{

bool UseRussian = false;
bool ConfirmOverwrite = true;

void ResetSwitches()
{
    UseRussian = false;
    ConfirmOverwrite = true;
}

namespace
{

struct TMsgText
{
    TMsgId Id;
    const char *English;
    const char *Russian; // UTF-8 here; converted to the console code page on use
};

constexpr TMsgText MsgTable[] = {
    {TMsgId::msgError, "ERROR! %s", "ОШИБКА! %s"},
    {TMsgId::msgUndefinedOption, "Undefined option: %s", "Неизвестный параметр: %s"},
    {TMsgId::msgExpected, "'%s' expected", "Ожидается '%s'"},
    {TMsgId::msgUnexpectedEndOfFile, "Unexpected end of file", "Неожиданный конец файла"},
    {TMsgId::msgTextureNameExpected, "Texture name expected", "Ожидается имя текстуры"},
    {TMsgId::msgUnexpectedEndOfLine, "Unexpected end of line", "Неожиданный конец строки"},
    {TMsgId::msgFormatError, "Format error", "Неверный формат"},
    {TMsgId::msgUndefinedCommand, "Undefined command: %s", "Неизвестная команда: %s"},
    {TMsgId::msgDestinationRedeclared, "Destination file name redeclare", "Повторное объявление выходного файла"},
    {TMsgId::msgFileNotFound, "File not found: %s", "Файл не найден: %s"},
    {TMsgId::msgFileNotSpecified, "File not specify", "Не указан файл"},
    {TMsgId::msgRecursiveInclude, "Recursive call of a file %s", "Рекурсивный вызов файла %s"},
    {TMsgId::msgIncorrectParameter, "Incorrect format of parameter: %s", "Неверный формат параметра: %s"},
    {TMsgId::msgPointFormatError, "Error in a format of a point: %s", "Ошибка в формате точки: %s"},
    {TMsgId::msgEntityArrangementError, "Error entity arrangement: %s", "Ошибка расположения сущности: %s"},
    {TMsgId::msgWorldspawnNotFound, "The entity \"worldspawn\" is not found in a file %s",
        "Сущность \"worldspawn\" не найдена в файле %s"},
    {TMsgId::msgWorldspawnSourceRedeclared, "Worldspawn-source file name redeclare",
        "Повторное объявление \"worldspawn\" файла"},
    {TMsgId::msgNotAMapFile, "Not a map file: %s", "Не файл карты: %s"},
    {TMsgId::msgNoFreeIdentifier, "No free identifier number left in %s", "Нет свободного номера идентификатора в %s"},
    {TMsgId::msgCompleteTextKept, "The complete new text is in \"%s\"", "Полный новый текст находится в \"%s\""},
    {TMsgId::msgUnknownBlock, "Unknown block: %s", "Неизвестный блок: %s"},
    {TMsgId::msgEndOfLineExpected, "End of line expected", "Ожидается конец строки"},
    {TMsgId::msgPatchRows, "Wrong number of patch rows: %s expected", "Неверное число рядов патча: ожидается %s"},
    {TMsgId::msgPatchPoints, "Wrong number of control points in a patch row: %s expected",
        "Неверное число контрольных точек в ряду патча: ожидается %s"},
    {TMsgId::msgRewriteQuestion, "File \"%s\" already exists. Rewrite? (y/n)",
        "Файл \"%s\" уже существует. Перезаписать? (y/n)"},
    {TMsgId::msgComplete, "Complete", "Выполнено"},
    {TMsgId::msgSaved, "%s saved", "%s сохранен"},
    {TMsgId::msgInclude, "Include %s", "Подключение %s"},
    {TMsgId::msgAdditionalFileSkipped, "Additional file skipped: %s", "Добавочный файл пропущен: %s"},
    {TMsgId::msgSite, "Site: %s", "Сайт: %s"},
    {TMsgId::msgWorldspawnSourceSkipped, "Worldspawn-source file skipped: %s. His for \"concat\" only",
        "Источник worldspawn-свойств пропушен: %s. Он только для команды \"concat\""},
};

} // namespace

std::string GetMsg(TMsgId Id)
{
    for (const auto &M : MsgTable) {
        if (M.Id == Id) {
            return UseRussian ? platform::ToConsoleEncoding(M.Russian) : std::string(M.English);
        }
    }
    return {};
}

std::string FmtMsg(TMsgId Id, std::initializer_list<std::string_view> Args)
{
    const std::string Template = GetMsg(Id);
    std::string Result;
    Result.reserve(Template.size() + 64);
    const auto *Arg = Args.begin();
    for (std::size_t I = 0; I < Template.size(); ++I) {
        if (Template[I] == '%' && I + 1 < Template.size() && Template[I + 1] == 's' && Arg != Args.end()) {
            Result.append(*Arg++);
            ++I;
        } else {
            Result += Template[I];
        }
    }
    return Result;
}

std::string ExpectedMsg(std::string_view Token)
{
    return FmtMsg(TMsgId::msgExpected, {Token});
}

void RaiseError(const std::string &Text)
{
    throw EBrixError(Text);
}

} // namespace brix
