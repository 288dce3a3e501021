#pragma once
// The parts of the engine that only the engine's own thread (the user-interface thread) may
// call: they change the network, or tables a pass reads, and assume no caller beside them.
// Debug builds stop at once, naming the entry, when another thread calls one.

#include <thread>

class CEngineThread {
 public:
  void Check(const char* where) const {
#ifndef NDEBUG
    if (std::this_thread::get_id() != id) fail(where);
#else
    (void)where;
#endif
  }

 private:
  std::thread::id id = std::this_thread::get_id();  // the thread that made the owner
  [[noreturn]] static void fail(const char* where);
};
