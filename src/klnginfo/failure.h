#pragma once
// klnginfo's own failures outside the file format: a file that cannot be opened, read or
// written. The message is printed after "klnginfo: ".

#include <exception>
#include <string>
#include <utility>

class klnginfo_failure : public std::exception {
public:
    explicit klnginfo_failure(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};
