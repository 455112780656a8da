#pragma once

#include <string>
#include <utility>
#include <variant>

// The answer of an operation that can fail, or why it failed. The error is usually a message for the user
// (UTF-8 around file-system bytes); operations whose callers must tell causes apart give a struct instead.
template <typename T, typename E = std::string> class [[nodiscard]] Result
{
public:
    Result(T value) : m_value(std::in_place_index<0>, std::move(value)) {}
    static Result failure(E error) { return Result(std::in_place_index<1>, std::move(error)); }

    explicit operator bool() const { return m_value.index() == 0; }
    T& operator*() { return std::get<0>(m_value); }
    const T& operator*() const { return std::get<0>(m_value); }
    T* operator->() { return &std::get<0>(m_value); }
    const T* operator->() const { return &std::get<0>(m_value); }
    const E& error() const { return std::get<1>(m_value); }

private:
    template <std::size_t I, typename V> Result(std::in_place_index_t<I> index, V&& value)
        : m_value(index, std::forward<V>(value))
    {
    }
    std::variant<T, E> m_value;
};

// Success, or why not.
template <typename E> class [[nodiscard]] Result<void, E>
{
public:
    Result() = default;
    static Result failure(E error)
    {
        Result result;
        result.m_failed = true;
        result.m_error = std::move(error);
        return result;
    }

    explicit operator bool() const { return !m_failed; }
    const E& error() const { return m_error; }

private:
    bool m_failed = false;
    E m_error{};
};
