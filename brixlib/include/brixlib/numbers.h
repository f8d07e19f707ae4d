// Number text: the map's decimal numbers, whole numbers of options, and the
// "origin" point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace brix
{

/// Reads a number in the map's text form: spaces, optional sign, digits with
/// an optional "." and fraction, optional exponent, spaces. "." is always the
/// decimal separator. False for any other text, or a value beyond a Double.
bool TryStrToFloat(std::string_view S, double &Value);

/// Reads a plain decimal from the front of S: an optional sign, then at most
/// 15 digits with an optional "." among them, not followed by an exponent or
/// a further digit. Returns how many characters it read, 0 when S does not
/// begin so (TryStrToFloat then decides); the value is TryStrToFloat's.
std::size_t ReadPlainDecimal(std::string_view S, double &Value);

/// TryStrToFloat or raise "'%s' is not a valid floating point value".
double StrToFloat(std::string_view S);

/// The conversion-failure text for S: "'S' is not a valid floating point value".
std::string FloatErrorMsg(std::string_view S);

/// Writes a Double in general format ("128", "-64.5", "0.0001", "1E15",
/// "1E-5") with 15 significant digits when they read back as the same Double,
/// else 16, else 17 ("727.8181818181829"), each correctly rounded, ties to
/// even; negative zero is "0". The text always reads back as Value.
std::string FloatToStr(double Value);

/// Appends FloatToStr(Value) to Out without a temporary string.
void AppendFloat(std::string &Out, double Value);

/// Writes FloatToStr(Value) at P, which has room for FloatTextRoom characters;
/// returns the end of the text.
inline constexpr std::size_t FloatTextRoom = 32;
char *FormatFloat(char *P, double Value);

/// Reads a signed 32-bit whole number: leading spaces, optional sign, decimal
/// digits or hex digits after "$", "x", "X", "0x", "0X"; nothing after.
bool TryStrToInt(std::string_view S, std::int32_t &Value);

/// TryStrToInt or raise "''%s'' is not a valid integer value".
std::int32_t StrToInt(std::string_view S);

/// Reads an "origin" text: three numbers separated by blanks.
bool ParsePoint(std::string_view S, double &x, double &y, double &z);

} // namespace brix
