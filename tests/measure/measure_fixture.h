// A simulated bench on virtual time with the binding pointed at it.
#pragma once

#include <string>
#include <vector>

#include "gpib/gpib_binding.h"
#include "sim/simulated_lab.h"

namespace quillon::testing {

struct Bench {
    Bench() : lab(MakeSimulatedLab(clock))
    {
        SelectGpibDriver(*lab.bus);
        lab.bus->RecordCalls(true);
        lab.meter->RecordTranscript(true);
    }

    // The driver calls made on one descriptor, as "call data" lines.
    std::vector<std::string> CallsOn(int ud) const
    {
        std::vector<std::string> lines;
        for (const BusCall& call : lab.bus->Calls())
            if (call.target == ud && call.call != "ibdev")
                lines.push_back(call.call + " " + call.data);
        return lines;
    }

    VirtualClock clock{1000};
    SimulatedLab lab;
};

}  // namespace quillon::testing
