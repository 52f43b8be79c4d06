#include "bus/thread_status_cells.h"

namespace quillon {

int ThreadStatusCells::Register(int32_t* ibstaCell, int32_t* iberrCell, int32_t* ibcntCell,
                                int32_t* ibcntlCell)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto inserted = cells_.emplace(std::this_thread::get_id(),
                                         Cells{ibstaCell, iberrCell, ibcntCell, ibcntlCell});
    return inserted.second ? 0 : 1;
}

void ThreadStatusCells::Unregister()
{
    std::lock_guard<std::mutex> lock(mutex_);
    cells_.erase(std::this_thread::get_id());
}

void ThreadStatusCells::Publish(int32_t ibsta, int32_t iberr, int32_t ibcntl)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = cells_.find(std::this_thread::get_id());
    if (found == cells_.end()) return;
    *found->second.ibsta = ibsta;
    *found->second.iberr = iberr;
    *found->second.ibcnt = ibcntl;
    *found->second.ibcntl = ibcntl;
}

}  // namespace quillon
