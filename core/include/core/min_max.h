// MaxOf and MinOf: the greater and the lesser of two numbers, the second
// argument winning on equality (the level window and the picture's panning
// limits depend on which operand is returned).
#pragma once

#include <type_traits>

namespace zindrel {

// The greater of two numbers; on equality the second argument wins.
template <class A, class B>
std::common_type_t<A, B> MaxOf(A a, B b) {
  using R = std::common_type_t<A, B>;
  if (static_cast<R>(a) > static_cast<R>(b)) return static_cast<R>(a);
  return static_cast<R>(b);
}
// The lesser of two numbers; on equality the second argument wins.
template <class A, class B>
std::common_type_t<A, B> MinOf(A a, B b) {
  using R = std::common_type_t<A, B>;
  if (static_cast<R>(a) < static_cast<R>(b)) return static_cast<R>(a);
  return static_cast<R>(b);
}

}  // namespace zindrel
