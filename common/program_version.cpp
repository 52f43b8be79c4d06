#include "common/program_version.h"

namespace quillon {

const char* ProgramVersion()
{
    return QUILLON_VERSION;
}

}  // namespace quillon
