#pragma once
// The converter's own failures: the message is printed after "tonecast: ".

#include <exception>
#include <string>
#include <utility>

class my_exception : public std::exception {
public:
    explicit my_exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};
