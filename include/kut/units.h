// Conversion coefficients between named units of length, force and mass.
//
// The coefficients live in a unit configuration file found through kbase:
// "unimet.cfg" while the unit settings of kopts are metric (byte 924 of
// CONF_KUNITS() zero), "uninmet.cfg" otherwise. Every operation decides the
// file anew, reads the one section it needs and releases everything before
// it returns, so a file edited between two calls is seen by the second.
//
// File form: three sections (1 length, 2 force, 3 mass), each a count line
// followed by that many records "NAME, coefficient". A record's coefficient
// is how many of that unit make one base unit of the file, so that
// LenghtCoeff(from, to) is the factor that turns a value in `from` into one
// in `to`: coeff(to) / coeff(from).
//
// Reading rules (the same on every platform; the stream is read as bytes,
// and what a locale decides is taken from the host's current C locale):
//  - CR LF reads as one line end; a lone CR counts as whitespace like blank,
//    tab, LF, VT and FF; no other character is whitespace, in any locale.
//  - Characters: ASCII bytes are themselves; a byte from 0x80 on starts a
//    character of the current locale's encoding (after setlocale(LC_ALL,
//    "C.UTF-8") the bytes C3 85 are one character, Å). A byte that starts
//    no character stays a character of its own, its value the byte's; so in
//    the default "C" locale every byte is the character 0-255.
//  - A count is an optional sign and decimal digits; values outside 16 bits
//    keep their low 16 bits. Whitespace after it is skipped.
//  - A name runs from its first character to the first comma; only the
//    characters before the first blank (code 32) count, at most 9 of them.
//    A tab is a name character.
//  - A coefficient is an optional sign, digits with an optional decimal
//    point (the current locale's, when it is one byte; "," after a German
//    setlocale) and an optional exponent; the longest
//    such prefix is taken. Text that is not a number leaves the row's
//    coefficient at 0.0 and stays unread: it starts the next row's name.
//  - A record of a skipped section is exactly two blank-separated tokens.
//  - Upper-casing, of the caller's names and of the rows' names, is the C
//    run-time's towupper in the current locale: a to z only in the "C"
//    locale; ång matches ÅNG after a UTF-8 or Windows-1252 setlocale.
//
// Results (negative values are failures):
//   -1.0   the file is not found, or cannot be opened;
//   -2.0   the section's row table cannot be allocated: a negative count,
//          an allocation failure, or a count line (of the wanted section or
//          of a section skipped on the way) that is not a number or is cut
//          off by the end of the file;
//   -10.0  the (first) name is in no row or its coefficient is exactly 0.0,
//          also a section with no rows, and any file that ends before all the
//          records of the wanted section, or of a skipped one, are complete
//          (a name without its comma, a missing coefficient, a missing token);
//   -20.0  the second name of the two-name forms is in no row.
//   A caller name longer than 9 characters matches no row.
#ifndef KUT_UNITS_H
#define KUT_UNITS_H

#include <cstdio>

#include "kut/types.h"

// One row of a section: the name as read (at most 9 characters) and its
// coefficient, 0.0 when the file's text was not a number.
struct UNIT_ITEM {
    wchar_t name[10];
    double coeff;
};

class KUT_API KUT_Units {
public:
    KUT_Units();
    // Defined in the library, which exports it with the other members.
    ~KUT_Units();  // NOLINT(performance-trivially-destructible)
    // Copies are independent: between calls the table pointer is null.
    KUT_Units(const KUT_Units& other);
    KUT_Units& operator=(const KUT_Units& other);

    // coeff(second) / coeff(first) in the length, force or mass section.
    double LenghtCoeff(wchar_t* first, wchar_t* second);
    double ForceCoeff(wchar_t* first, wchar_t* second);
    double MassCoeff(wchar_t* first, wchar_t* second);

    // The unit's coefficient as stored in the file.
    double GetLenghtCoeff(wchar_t* name);
    double GetForceCoeff(wchar_t* name);
    double GetMassCoeff(wchar_t* name);

    // Row table of the section being read; null between calls.
    UNIT_ITEM* unitTab;

private:
    // Read the section that starts at the stream's position (its count line)
    // and answer for already upper-cased names.
    double UnitCoeff(FILE* file, wchar_t* first, wchar_t* second);
    double GetUnitCoeff(FILE* file, wchar_t* name);
};

#endif
