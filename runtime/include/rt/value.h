// Nullable values of the object runtime.
//
// Every variable may hold NULL. An operation with a NULL operand gives NULL,
// and a test of a NULL boolean is false. Integer types wrap on overflow the
// way the runtime's 16- and 32-bit arithmetic does.
#pragma once

#include <compare>
#include <concepts>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>

#include "rt/error.h"
#include "rt/export.h"

namespace rt {

struct null_t {
  explicit constexpr null_t(int) {}
};
// The NULL value: `rt::Long x = rt::null;`
inline constexpr null_t null{0};

template <class T>
class Nullable {
 public:
  using value_type = T;

  // A fresh variable holds its type's initial value (0, false, ""), not NULL.
  constexpr Nullable() = default;
  constexpr Nullable(null_t) : null_(true) {}
  constexpr Nullable(const T& v) : v_(v) {}
  constexpr Nullable(T&& v) : v_(std::move(v)) {}
  template <class U>
    requires(!std::is_same_v<std::remove_cvref_t<U>, T> &&
             !std::is_same_v<std::remove_cvref_t<U>, null_t> &&
             !std::is_same_v<std::remove_cvref_t<U>, Nullable> &&
             std::is_constructible_v<T, U &&> && !std::is_same_v<T, bool>)
  constexpr Nullable(U&& u) : v_(static_cast<T>(std::forward<U>(u))) {}

  constexpr bool is_null() const { return null_; }
  // The value; reading the value of NULL is a fault of the caller.
  constexpr const T& operator*() const { return v_; }
  constexpr T& operator*() {
    return v_;
  }
  constexpr const T* operator->() const { return &v_; }
  constexpr T value_or(T fallback) const { return null_ ? std::move(fallback) : v_; }

  // Only booleans convert in a test; NULL tests false.
  constexpr explicit operator bool() const
    requires std::is_same_v<T, bool>
  {
    return !null_ && v_;
  }

 private:
  T v_{};
  bool null_ = false;
};

using Int = Nullable<std::int16_t>;     // integer
using UInt = Nullable<std::uint16_t>;   // unsigned integer
using Long = Nullable<std::int32_t>;    // long
using ULong = Nullable<std::uint32_t>;  // unsigned long
using Bool = Nullable<bool>;            // boolean
using Double = Nullable<double>;        // double
using Char = Nullable<char>;            // char

template <class T>
constexpr bool isnull(const Nullable<T>& v) {
  return v.is_null();
}

// A test as the runtime makes it: NULL is false.
constexpr bool test(const Bool& b) { return static_cast<bool>(b); }

// NOT NULL is NULL.
constexpr Bool operator!(const Bool& b) { return b.is_null() ? Bool(null) : Bool(!*b); }

namespace detail {
template <class T>
concept WrapInt = std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char>;

template <WrapInt T>
constexpr T wrap(std::uint64_t bits) {
  return static_cast<T>(static_cast<std::make_unsigned_t<T>>(bits));
}
}  // namespace detail

// Wrapping integer arithmetic, NULL in gives NULL out.
template <detail::WrapInt T>
constexpr Nullable<T> operator+(const Nullable<T>& a, const Nullable<T>& b) {
  if (a.is_null() || b.is_null()) return null;
  return detail::wrap<T>(static_cast<std::uint64_t>(*a) + static_cast<std::uint64_t>(*b));
}
template <detail::WrapInt T>
constexpr Nullable<T> operator-(const Nullable<T>& a, const Nullable<T>& b) {
  if (a.is_null() || b.is_null()) return null;
  return detail::wrap<T>(static_cast<std::uint64_t>(*a) - static_cast<std::uint64_t>(*b));
}
template <detail::WrapInt T>
constexpr Nullable<T> operator*(const Nullable<T>& a, const Nullable<T>& b) {
  if (a.is_null() || b.is_null()) return null;
  return detail::wrap<T>(static_cast<std::uint64_t>(static_cast<std::int64_t>(*a)) *
                         static_cast<std::uint64_t>(static_cast<std::int64_t>(*b)));
}
// Integer division truncates toward zero; dividing by zero raises error 20501.
template <detail::WrapInt T>
constexpr Nullable<T> operator/(const Nullable<T>& a, const Nullable<T>& b) {
  if (a.is_null() || b.is_null()) return null;
  if (*b == 0) raise_error(kErrDivideByZero);
  return detail::wrap<T>(static_cast<std::uint64_t>(static_cast<std::int64_t>(*a) /
                                                    static_cast<std::int64_t>(*b)));
}
template <detail::WrapInt T>
constexpr Nullable<T> mod(const Nullable<T>& a, const Nullable<T>& b) {
  if (a.is_null() || b.is_null()) return null;
  if (*b == 0) raise_error(kErrDivideByZero);
  return static_cast<T>(static_cast<std::int64_t>(*a) % static_cast<std::int64_t>(*b));
}
template <detail::WrapInt T>
constexpr Nullable<T> operator-(const Nullable<T>& a) {
  return Nullable<T>(T{0}) - a;
}

inline Double operator+(const Double& a, const Double& b) {
  return a.is_null() || b.is_null() ? Double(null) : Double(*a + *b);
}
inline Double operator-(const Double& a, const Double& b) {
  return a.is_null() || b.is_null() ? Double(null) : Double(*a - *b);
}
inline Double operator*(const Double& a, const Double& b) {
  return a.is_null() || b.is_null() ? Double(null) : Double(*a * *b);
}
inline Double operator/(const Double& a, const Double& b) {
  if (a.is_null() || b.is_null()) return null;
  if (*b == 0.0) raise_error(kErrDivideByZero);
  return *a / *b;
}

// Comparisons give a nullable boolean: NULL when either side is NULL.
template <class T>
constexpr Bool operator==(const Nullable<T>& a, const Nullable<T>& b) {
  if (a.is_null() || b.is_null()) return null;
  return *a == *b;
}
template <class T>
constexpr Bool operator!=(const Nullable<T>& a, const Nullable<T>& b) {
  if (a.is_null() || b.is_null()) return null;
  return *a != *b;
}
template <class T>
constexpr Bool operator<(const Nullable<T>& a, const Nullable<T>& b) {
  if (a.is_null() || b.is_null()) return null;
  return *a < *b;
}
template <class T>
constexpr Bool operator<=(const Nullable<T>& a, const Nullable<T>& b) {
  if (a.is_null() || b.is_null()) return null;
  return *a <= *b;
}
template <class T>
constexpr Bool operator>(const Nullable<T>& a, const Nullable<T>& b) {
  if (a.is_null() || b.is_null()) return null;
  return *a > *b;
}
template <class T>
constexpr Bool operator>=(const Nullable<T>& a, const Nullable<T>& b) {
  if (a.is_null() || b.is_null()) return null;
  return *a >= *b;
}

// Mixed forms with a plain value on one side.
template <class T, class U>
  requires std::is_constructible_v<Nullable<T>, U> && (!std::is_same_v<std::remove_cvref_t<U>, Nullable<T>>)
constexpr auto operator==(const Nullable<T>& a, const U& b) {
  return a == Nullable<T>(b);
}
template <class T, class U>
  requires std::is_constructible_v<Nullable<T>, U> && (!std::is_same_v<std::remove_cvref_t<U>, Nullable<T>>)
constexpr auto operator!=(const Nullable<T>& a, const U& b) {
  return a != Nullable<T>(b);
}

// Logical AND / OR with the runtime's three-valued rules.
constexpr Bool land(const Bool& a, const Bool& b) {
  if ((!a.is_null() && !*a) || (!b.is_null() && !*b)) return false;
  if (a.is_null() || b.is_null()) return null;
  return true;
}
constexpr Bool lor(const Bool& a, const Bool& b) {
  if ((!a.is_null() && *a) || (!b.is_null() && *b)) return true;
  if (a.is_null() || b.is_null()) return null;
  return false;
}

// Conversions between the integer types keep the low bits, as the runtime's
// assignments do. NULL stays NULL.
template <detail::WrapInt To, class From>
constexpr Nullable<To> convert(const Nullable<From>& v) {
  if (v.is_null()) return null;
  if constexpr (std::is_floating_point_v<From>) {
    return detail::wrap<To>(static_cast<std::uint64_t>(static_cast<std::int64_t>(*v)));
  } else {
    return detail::wrap<To>(static_cast<std::uint64_t>(static_cast<std::int64_t>(*v)));
  }
}

// A double's whole part, truncated toward zero, as a long. Values from 2^31
// up to 2^32 keep their 32-bit pattern (they come out negative).
RT_API Long truncate_to_long(const Double& d);
// The same as a 16-bit integer (low 16 bits of the whole part).
RT_API Int truncate_to_int(const Double& d);

}  // namespace rt
