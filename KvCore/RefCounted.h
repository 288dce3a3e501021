#pragma once
// Reference counting for the automation objects: created with one reference, deleted when the
// last one goes.

#include <atomic>

template <class I>
class KvRefCounted : public I {
 public:
  long AddRef() override { return ++refs_; }
  long Release() override {
    const long n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  long Refs() const { return refs_; }

 protected:
  ~KvRefCounted() override = default;

 private:
  std::atomic<long> refs_{1};
};
