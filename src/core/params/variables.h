// The sixteen parameter variables, their companions and the two selections.
#pragma once

#include <cstdint>

namespace ovx::params {

// Parameter variables, in the word order of the parameter block.
extern std::uint16_t power, reference, tolerance, hysteresis, polarity, hold, hwmode, average,
    evalmode, maxmode, triglvl, trigmode, sdelay, dbuflen, anamode, para15;

// Reference and tolerance of the reset NORM history (never changed after start-up).
extern std::uint16_t ref10Bit, tol10Bit;

// Parameter target.
constexpr int RAM = 1;
constexpr int EEPROM = 2;
constexpr int DATFILE = 3;
extern int target;
// Graph source of the strip chart: 0 RAW, 1 NORM.
extern int type;

// Assigns the start values of the sixteen parameters and of ref10Bit/tol10Bit.
void SetParameterStartValues();

// Told when the sixteen variables have taken the controller's values (a parameter fetch of the
// link): the window writes them to its panels then. nullptr: nobody is told.
using ValuesChangedHook = void (*)();
void SetValuesChangedHook(ValuesChangedHook hook);
void ValuesChanged();

} // namespace ovx::params
