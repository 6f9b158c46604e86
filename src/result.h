// A success-or-error value: what every fallible operation gives back until the
// dispatcher decides that an error is fatal.
#pragma once

#include <cstddef>
#include <utility>
#include <variant>

namespace vantle_native {

// The success value of an operation that gives nothing back.
struct Done {};

// The alternative of a variant that the caller knows it holds. Unlike
// std::get, it has no throwing path: every caller has checked (or built) the
// alternative, and the exception class that std::get would link in costs
// the Windows exe a block of its size budget.
template <class Alternative, class Variant>
[[nodiscard]] constexpr auto& known_alternative(Variant& variant) {
    return *std::get_if<Alternative>(&variant);
}
template <std::size_t Index, class Variant>
[[nodiscard]] constexpr auto& known_alternative(Variant& variant) {
    return *std::get_if<Index>(&variant);
}

template <class E>
struct Failure {
    E error;
};

template <class E>
Failure(E) -> Failure<E>;

template <class T, class E>
class [[nodiscard]] Result {
public:
    // Implicit on purpose, so that an operation says `return value;` or
    // `return Failure{error};`.
    // cppcheck-suppress noExplicitConstructor
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    template <class F>
    // cppcheck-suppress noExplicitConstructor
    Result(Failure<F> failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}

    [[nodiscard]] bool ok() const { return state_.index() == 0; }
    [[nodiscard]] T& value() { return known_alternative<0>(state_); }
    [[nodiscard]] const T& value() const { return known_alternative<0>(state_); }
    [[nodiscard]] E& error() { return known_alternative<1>(state_); }
    [[nodiscard]] const E& error() const { return known_alternative<1>(state_); }

private:
    std::variant<T, E> state_;
};

template <class E>
using Status = Result<Done, E>;

}  // namespace vantle_native
