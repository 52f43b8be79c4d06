// What a run and the windows need from outside the program: time, the
// program's folder and the desktop's dialogs. main() gives the real ones,
// tests give virtual time, a temporary folder and a recorder.
#pragma once

#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/program_folder.h"

namespace quillon {

struct Environment {
    Clock& clock;
    const ProgramFolder& programFolder;
    Desktop& desktop;
};

}  // namespace quillon
