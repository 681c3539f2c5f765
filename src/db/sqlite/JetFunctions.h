// The SQLite functions that stand for Jet's functions in translated SQL.
#pragma once

struct sqlite3;

namespace tessaly::db::sqlite {

// Installs on db the functions the SQLite dialect writes: jet_concat (&),
// jet_add (+), jet_sub (-) and jet_mul (*) over chains, with dates stored as texts taken
// as dates, jet_div (/), jet_intdiv (\), jet_mod (Mod), jet_pow (^) and
// jet_<name> for Jet's functions (left, mid, instr, format, year, cstr, ...;
// see TESSALY_JET_FUNCTIONS). Texts are UTF-8 and counted in characters.
// A failure is reported as the SQL error "jet-error <number>: <description>"
// with the number and wording Jet or the old runtime gives (5, 6, 11, 13, 94,
// or -2147217913 for a text that is no date).
void RegisterJetFunctions(sqlite3* db);

// The subtype a function's date result carries (its value is the stored text
// yyyy-mm-dd[ hh:mm:ss]), by which a row read straight from the function is
// known to hold a date.
inline constexpr unsigned int kDateSubtype = 'D';

// The functions a chain longer than one call's arguments goes on with, by the
// number jet_terms carries first (the dialect writes it, "->" reads it).
enum ChainFunction { kChainAdd, kChainSub, kChainMul };
inline constexpr const char* kChainFunctions[] = {"jet_add", "jet_sub", "jet_mul"};

}  // namespace tessaly::db::sqlite
