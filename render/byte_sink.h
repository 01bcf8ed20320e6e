// Output bytes appended to a string reserved ahead of them (never zero-filled), optionally
// reusing the capacity of a string the caller keeps from one call to the next.
#pragma once

#include <string>
#include <string_view>

class ByteSink {
public:
    explicit ByteSink(size_t expected, std::string reuse = {}) : m_buf(std::move(reuse)) {
        m_buf.clear();
        m_buf.reserve(expected);
    }

    void Put(char ch) { m_buf.push_back(ch); }
    void Put(char first, char second) {
        m_buf.push_back(first);
        m_buf.push_back(second);
    }
    void Put(std::string_view bytes) { m_buf.append(bytes); }
    [[nodiscard]] std::string Take() && { return std::move(m_buf); }

private:
    std::string m_buf;
};
