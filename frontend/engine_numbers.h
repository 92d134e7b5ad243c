// The engine's rules for reading the numbers of a control file, reproduced
// here so that the front end reads every record as the engine will, under
// any locale (the two programs share no code, only files).
//
// A record of numbers is read list-directed: values separated by blanks
// (blank, tab, carriage return) and/or one comma; two commas in a row, or a
// comma first, give a null value (the target keeps its value); "r*v"
// repeats v r times and "r*" gives r null values; a slash ends the read
// with null values; a value may be quoted with ' or ".  A record holding
// fewer values than asked for continues on the next line.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// A whole number: an optional sign and digits only, in the 32-bit range
// ("4.0", "1e1" and "0x10" are not whole numbers).
bool engine_int(const QString& field, long& value);
// A real: an optional sign, digits with an optional decimal point, and an
// optional exponent (e, E, d or D with digits); finite.
bool engine_real(const QString& field, double& value);

// Reads `count` values from lines[next], continuing on the following lines
// while values are missing; `next` moves past every line used.  False when
// the lines run out first.
bool engine_list(const QStringList& lines, qsizetype& next, int count, QList<std::optional<QString>>& fields);
