// The per-thread status cells of a driver that keeps them itself: each
// thread registers its four cells once, and every call that thread makes
// ends with its outcome stored into them. A thread without cells gets
// nothing stored.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

namespace quillon {

class ThreadStatusCells {
public:
    // 0 when the calling thread's cells are now registered, 1 when the
    // thread already had cells (they stay as they were).
    int Register(int32_t* ibstaCell, int32_t* iberrCell, int32_t* ibcntCell, int32_t* ibcntlCell);
    void Unregister();
    // Stores one call's outcome into the calling thread's cells, if any.
    void Publish(int32_t ibsta, int32_t iberr, int32_t ibcntl);

private:
    struct Cells {
        int32_t* ibsta;
        int32_t* iberr;
        int32_t* ibcnt;
        int32_t* ibcntl;
    };

    std::mutex mutex_;
    std::map<std::thread::id, Cells> cells_;
};

}  // namespace quillon
