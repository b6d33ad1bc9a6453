// Linked into each shipped program ahead of the C++ runtime (like TerminateHandler.cpp): the standard
// containers and strings report a length, range or null-pointer error through these functions. The runtime's
// own versions build std::length_error and its relatives, whose message is a reference-counted string of a
// second std::string implementation; that alone brings about 45 KB of the runtime into each program. These
// throw std::bad_alloc for failed allocations as before, and for the others an exception derived from
// std::exception with the same message, so every catch (const std::exception&) and catch (...) still
// catches them.
#include <bits/functexcept.h>

#include <exception>
#include <new>

namespace {

class ContainerError final : public std::exception {
public:
    explicit ContainerError(const char* what) noexcept : m_what(what ? what : "container error") {}
    const char* what() const noexcept override { return m_what; }

private:
    const char* m_what;
};

}  // namespace

namespace std {

void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_array_new_length(); }
void __throw_length_error(const char* what) { throw ContainerError(what); }
void __throw_logic_error(const char* what) { throw ContainerError(what); }
void __throw_out_of_range(const char* what) { throw ContainerError(what); }
// The format's arguments (the index and the size) are left out of the message.
void __throw_out_of_range_fmt(const char* format, ...) { throw ContainerError(format); }
void __throw_invalid_argument(const char* what) { throw ContainerError(what); }

}  // namespace std
