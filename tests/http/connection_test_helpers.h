#pragma once
// Shared by the connection tests: open descriptors, and a recorder of the
// transfer events together with the target's size at each event.
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "connection.h"
#include "open_descriptors.h"
#include "stream.h"

namespace kalvoran::test {

struct WorkEvent {
  char kind;  // 'B'egin, 'W'ork, 'E'nd
  std::int64_t value;
  std::int64_t targetSize;
  bool operator==(const WorkEvent&) const = default;
};

inline void PrintTo(const WorkEvent& e, std::ostream* os) {
  *os << e.kind << '(' << e.value << ", size " << e.targetSize << ')';
}

// Records every read event of `connection`; `extra` runs after recording.
inline void RecordEvents(Connection& connection, Stream& target, std::vector<WorkEvent>& events,
                         std::function<void(char)> extra = {}) {
  connection.OnWorkBegin = [&, extra](TWorkMode mode, std::int64_t expected) {
    if (mode == wmRead) events.push_back({'B', expected, target.Size()});
    if (extra) extra('B');
  };
  connection.OnWork = [&, extra](TWorkMode mode, std::int64_t count) {
    if (mode == wmRead) events.push_back({'W', count, target.Size()});
    if (extra) extra('W');
  };
  connection.OnWorkEnd = [&, extra](TWorkMode mode) {
    if (mode == wmRead) events.push_back({'E', 0, target.Size()});
    if (extra) extra('E');
  };
}

}  // namespace kalvoran::test
