// The runs of another instrument's text table: any leading lines of
// comments or metadata, then a header naming the columns, then a row per
// point. A run per frequency where a column gives it.
//
// The columns, by name whatever the case: the bias V, Bias, VBias, Vg or
// Vgate; the capacitance C, Cp or Cap; the conductance G or Gp; the
// frequency, optional, f, Freq or Frequency. Other columns are left alone.
// A unit stands in brackets or parentheses after the name ("C [pF]",
// "Cp(nF)") or after an underscore ("C_pF"); without one, the column is in
// V, F, S or Hz. A name with a unit glued to it ("CpF") is no column: "Cp"
// is a name of its own, so such a name could mean either. Units, case as
// written: V, mV; F, pF, nF, uF, fF; S, mS, uS, nS; Hz, kHz (or KHz), MHz;
// "µ" may stand for "u". A unit in brackets that is none of these for its
// column is refused; after an underscore it makes the name no column.
//
// The separator is that of the header: TAB where there is one, else ";",
// else ",". With ";", a decimal comma is read as well as a point.
// A table without a conductance column is refused: G = 0 S would be a
// reading that was never made.
#pragma once

#include <string>

#include "analysis/run_file_reader.h"
#include "analysis/run_file_text.h"

namespace quillon {

RunFileReading ReadInstrumentTableLines(const std::string& path, TextLineCursor lines);

}  // namespace quillon
