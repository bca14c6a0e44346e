// Error values for the core: a failing operation returns an Error with a message a user can read.
#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace rw {

struct Error {
    std::string message;
};

// A value or an Error. Small on purpose: the project builds as C++20, before std::expected.
template <class T>
class [[nodiscard]] Expected {
public:
    Expected(T value) : m_v(std::in_place_index<0>, std::move(value)) {}
    Expected(Error error) : m_v(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return m_v.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & {
        assert(ok());
        return std::get<0>(m_v);
    }
    const T& value() const& {
        assert(ok());
        return std::get<0>(m_v);
    }
    T&& value() && {
        assert(ok());
        return std::get<0>(std::move(m_v));
    }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const Error& error() const {
        assert(!ok());
        return std::get<1>(m_v);
    }

private:
    std::variant<T, Error> m_v;
};

template <>
class [[nodiscard]] Expected<void> {
public:
    Expected() = default;
    Expected(Error error) : m_error(std::move(error)), m_ok(false) {}

    bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    const Error& error() const {
        assert(!m_ok);
        return m_error;
    }

private:
    Error m_error;
    bool m_ok = true;
};

}  // namespace rw
