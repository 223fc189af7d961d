#pragma once
// Puts a fake in place of a binding variable (an OpenGL or GLU entry point)
// for the life of the object, and the driver's back afterwards.

namespace qira {

template <class T>
class TScopedEntryPoint {
 public:
  TScopedEntryPoint(T& variable, T fake) : variable_(variable), saved_(variable) { variable_ = fake; }
  ~TScopedEntryPoint() { variable_ = saved_; }
  TScopedEntryPoint(const TScopedEntryPoint&) = delete;
  TScopedEntryPoint& operator=(const TScopedEntryPoint&) = delete;

 private:
  T& variable_;
  T saved_;
};

}  // namespace qira
