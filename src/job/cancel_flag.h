#pragma once
#include <atomic>

namespace kalvoran {

// The job must stop. Cleared by the worker when a job starts; set by CLOSE,
// by the work-begin handler when the server refuses a file, and by the
// worker's end hook. Written by both threads, hence atomic.
extern std::atomic<bool> CancelFlag;

}  // namespace kalvoran
